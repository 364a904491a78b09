// Program entry: the command line, the application titled "Varmolen", the
// main window, the hidden sound-card dialog, then the message loop. An
// exception that escapes a handler is shown in a message box and the program
// carries on; the entry returns 0 once the window has been open.
#include <QApplication>
#include <QFile>
#include <QMessageBox>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <exception>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "persist/InstallPaths.h"
#include "window/SignalBridge.h"
#include "window/Varmolen2.h"
#include "window/Soundcardselection.h"
#include "window/RemoteControl.h"
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

// What the usage names: the version and the places as the program computes
// them (the settings folder honours VARMOLEN_INSTALL_DIR, the manual is the
// one Help > Help File opens).
varmolen::UsagePlaces usagePlaces()
{
    return {VARMOLEN_VERSION, QFile::encodeName(varmolen::installDirectory()).toStdString(),
            QFile::encodeName(varmolen::helpFileCandidate()).toStdString()};
}

}  // namespace

int main(int argc, char* argv[])
{
    // The command line first, before the sound devices are listed and the
    // toolkit connects to a display: --help, --version and a wrong command
    // line answer and end here, also where no display is.
    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    const varmolen::CommandLine commandLine = varmolen::parseCommandLine(arguments, usagePlaces());
    if (!commandLine.run) {
        std::fputs(commandLine.standardOutput.c_str(), stdout);
        std::fputs(commandLine.standardError.c_str(), stderr);
        return commandLine.exitCode;
    }
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
    // The installed desktop entry's id (packaging/), so the desktop matches
    // the window to its entry and icon.
    QApplication::setDesktopFileName(QStringLiteral("io.github.varmolen.Varmolen"));
    try {
        std::unique_ptr<varmolen::WaveInput> waveInput = devices.get();
        varmolen::TScopeForm scopeForm(*waveInput);
        // The device dialog, hidden until Options > Sound Card > Select; its
        // close re-applies the input kind, which restarts acquisition on the
        // chosen device.
        varmolen::TSoundCardSelect soundCardSelect(scopeForm.state(), *waveInput, [&scopeForm, &soundCardSelect] {
            if (scopeForm.state().inputSelect == 0)
                scopeForm.menus().Mic1Click(&soundCardSelect);
            else
                scopeForm.menus().Line1Click(&soundCardSelect);
        });
        scopeForm.menus().setSoundCardSelect(&soundCardSelect);
        // The signal generator's output devices, through ALSA.
        scopeForm.generatorPanel().setPlaybackService(
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
        if (commandLine.remote) {
            const int port = commandLine.remotePort.value_or(scopeForm.state().features.remotePort);
            QString whyNot;
            if (!varmolen::remoteServerOf(scopeForm).apply(whyNot, port))
                scopeForm.host().showMessage("Remote control cannot listen: " + whyNot.toStdString(), "Remote Control");
        }
        // A signal while a box waited at start-up ends the program here.
        if (!closeOnSignal.signalled()) {
            scopeForm.show();
            app.exec();
        }
    } catch (const std::exception& e) {
        VarmolenApplication::showException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        VarmolenApplication::showException(QString());
    }
    return 0;
}
