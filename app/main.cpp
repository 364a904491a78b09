// Program entry: the application titled "Varmolen", the main window, the
// hidden sound-card dialog, then the message loop. An exception that escapes
// a handler is shown in a message box and the program carries on; the entry
// returns 0.
#include <QApplication>
#include <QMessageBox>

#include <csignal>
#include <cstdio>
#include <optional>
#include <exception>
#include <future>
#include <memory>

#include "window/SignalBridge.h"
#include "window/Varmolen2.h"
#include "window/Soundcardselection.h"
#include "window/RemoteServer.h"
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

// The port --remote or --remote=PORT asks for; nothing without the option.
// A port that is not one (0, 70000, text) is refused with a message on the
// standard error and the settings' port used.
std::optional<int> remotePortOption(const QStringList& arguments, const varmolen::FeatureSettings& settings)
{
    std::optional<int> port;
    for (const QString& argument : arguments.mid(1)) {
        if (argument == QLatin1String("--remote")) {
            port = settings.remotePort;
        } else if (argument.startsWith(QLatin1String("--remote="))) {
            bool ok = false;
            const int asked = argument.mid(9).toInt(&ok);
            if (ok && varmolen::isRemotePort(asked)) {
                port = asked;
            } else {
                std::fprintf(stderr, "varmolen: %s: the port must be 1 to 65535\n", argument.toLocal8Bit().constData());
                port = settings.remotePort;
            }
        }
    }
    return port;
}

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
        // --remote[=PORT]: remote control for this run, on the port given or
        // the one the settings name, whatever they say of it being on.
        if (const std::optional<int> port = remotePortOption(QApplication::arguments(), scopeForm.state().features)) {
            QString whyNot;
            if (!varmolen::remoteServerOf(scopeForm).apply(whyNot, *port))
                scopeForm.host().showMessage("Remote control cannot listen: " + whyNot.toStdString(), "Remote Control");
        }
        scopeForm.show();
        app.exec();
    } catch (const std::exception& e) {
        VarmolenApplication::showException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        VarmolenApplication::showException(QString());
    }
    return 0;
}
