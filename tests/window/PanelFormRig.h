// A main window on the offscreen platform for the front-panel tests: its own
// install and help folders (the user's settings are never touched), a memory
// device whose calls are logged, message boxes recorded instead of shown,
// the start-up timers held so that nothing runs unless a test asks, and the
// C locale's decimal point.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <ostream>

#include "window/Varmolen2.h"
#include "tests/ScopeFormSpy.h"
#include "tests/support/MemoryWaveInput.h"
#include "WindowDriving.h"
#include "WindowTestFolders.h"

// Failed comparisons of texts print the texts.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace varmolen::test {

class PanelFormRig : public WindowTestFolders {
protected:
    void SetUp() override
    {
        WindowTestFolders::SetUp();
        QLocale::setDefault(QLocale::c());
        form = std::make_unique<SpyScopeForm>(device);
        form->host().setRecordOnly(true);
        form->controls().run.StartTimer->stop();
        form->controls().run.TimeoutTimer->stop();
    }
    void TearDown() override
    {
        form.reset();
        QLocale::setDefault(QLocale::system());
        WindowTestFolders::TearDown();
    }

    // A user's action on a control (tests/WindowDriving.h).
    static void turn(Dial* dial, float value) { test::turn(dial, value); }
    static void press(Dial* dial, float value) { test::press(dial, value); }
    static void flip(SwitchBase* control, bool checked) { test::flip(control, checked); }
    static void slide(QSlider* bar, int position) { test::slide(bar, position); }

    InstrumentState& s() { return form->state(); }
    QString status(int panel) const { return form->status().text(panel); }
    QString marker() const { return form->controls().screen.MarkerLabel->text(); }
    QString lo() const { return form->controls().screen.LoFreqLabel->text(); }
    QString hi() const { return form->controls().screen.HiFreqLabel->text(); }

    MemoryWaveInput device;
    std::unique_ptr<SpyScopeForm> form;
};

}  // namespace varmolen::test
