// Prints where the scripts that drive the real window should point: the
// centres of the controls they use, in the main window's own coordinates,
// one "name x y" line each. It builds the window on the same display and
// with the same fonts as the run it serves, so the points follow the
// panel's layout instead of being written into the scripts.
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

#include "window/Varmolen2.h"
#include "tests/ScopeFormSpy.h"
#include "audio/GeneratorWaveInput.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/PaintBox.h"
#include "panel/widgets/RockerSwitch.h"

namespace {

void print(const char* name, const QPoint& p) { std::printf("%s %d %d\n", name, p.x(), p.y()); }

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // Empty install and help folders: no one's settings are read or written.
    QTemporaryDir install, help;
    if (!install.isValid() || !help.isValid())
        return 1;
    qputenv("VARMOLEN_INSTALL_DIR", install.path().toUtf8());
    qputenv("VARMOLEN_HELP_DIR", help.path().toUtf8());

    varmolen::GeneratorWaveInput generator;
    varmolen::test::SpyScopeForm form(generator);
    form.host().setRecordOnly(true);
    // "large": the points of the window at Display > Size > Large.
    if (argc > 1 && std::strcmp(argv[1], "large") == 0) {
        form.state().features.displaySize = varmolen::kLargeDisplaySize;
        form.applyDisplaySize();
    }
    form.show();

    auto centre = [&form](const QWidget* w) { return w->mapTo(&form, w->rect().center()); };
    // The display's top-left pixel (513 x 343, 1025 x 685 at Large), to look at what it shows.
    print("display", form.controls().screen.SpectrumBox->mapTo(&form, QPoint(0, 0)));
    print("chan1-switch", centre(form.controls().chan1.Chan1EnbSwitch));
    print("chan1-gain-dial", centre(form.controls().chan1.Chan1GainDial));
    const QMenuBar* bar = form.menuBar();
    print("file-menu", bar->mapTo(&form, bar->actionGeometry(form.controls().fileMenu.File1->menuAction()).center()));
    // The place of "Save Bitmap" inside the open File menu.
    print("save-bitmap-item",
          form.controls().fileMenu.File1->actionGeometry(form.controls().fileMenu.SaveBitmap1).center());
    print("record-wav-item",
          form.controls().fileMenu.File1->actionGeometry(form.controls().fileMenu.RecordWav1).center());
    std::fflush(stdout);
    form.close();
    return 0;
}
