// Program entry: the application titled "Varmolen", the main window, the
// hidden sound-card dialog, then the message loop. An exception that escapes
// a handler is shown in a message box and the program carries on; the entry
// returns 0.
#include <QApplication>
#include <QMessageBox>

#include <csignal>
#include <exception>
#include <future>
#include <memory>

#include "window/SignalBridge.h"
#include "window/Varmolen2.h"
#include "window/Soundcardselection.h"
#include "audio/SystemWaveInput.h"
#include "audio/AlsaPlayback.h"

namespace {

class VarmolenApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            showException(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            showException(QString());
        }
        return false;
    }

    static void showException(const QString& text)
    {
        QMessageBox::critical(activeWindow(), applicationDisplayName(), text);
    }
};

}  // namespace

int main(int argc, char* argv[])
{
    // A file that reaches the process's size limit (ulimit -f) must fail its
    // write with an error the recording reports, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // Listing the sound devices asks ALSA and the sound server, which takes
    // a few tens of milliseconds; it runs while the toolkit connects to the
    // display, so the window opens sooner.
    std::future<std::unique_ptr<varmolen::WaveInput>> devices =
        std::async(std::launch::async, [] { return varmolen::createSystemWaveInput(); });
    VarmolenApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varmolen"));
    QApplication::setApplicationDisplayName(QStringLiteral("Varmolen"));
    QApplication::setDesktopFileName(QStringLiteral("varmolen"));
    try {
        std::unique_ptr<varmolen::WaveInput> waveInput = devices.get();
        varmolen::TScopeForm scopeForm(*waveInput);
        // The device dialog, hidden until Options > Sound Card > Select; its
        // close re-applies the input kind, which restarts acquisition on the
        // chosen device.
        varmolen::TSoundCardSelect soundCardSelect(scopeForm.state(), *waveInput, [&scopeForm, &soundCardSelect] {
            if (scopeForm.state().inputSelect == 0)
                scopeForm.Mic1Click(&soundCardSelect);
            else
                scopeForm.Line1Click(&soundCardSelect);
        });
        scopeForm.setSoundCardSelect(&soundCardSelect);
        // The signal generator's output devices, through ALSA.
        scopeForm.setPlaybackService(
            {[] {
                 std::vector<varmolen::PlaybackDevice> out;
                 for (const varmolen::AlsaCaptureDevice& d : varmolen::listAlsaPlaybackDevices())
                     out.push_back({d.pcmName, d.productName});
                 return out;
             },
             [](const std::string& name) { return std::make_unique<varmolen::AlsaPlaybackSink>(name); }});
        varmolen::SignalBridge closeOnSignal(&scopeForm);
        scopeForm.show();
        app.exec();
    } catch (const std::exception& e) {
        VarmolenApplication::showException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        VarmolenApplication::showException(QString());
    }
    return 0;
}
