// The whole window recording from a private PulseAudio server through ALSA's
// default device: the server killed while the window records (the device
// vanishes: "Wave Device Message", the program ends, the settings are saved),
// then the server started again and the program started again (it records).
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "FaultHarness.h"
#include "WindowTestFolders.h"
#include "window/Varmolen2.h"
#include "tests/ScopeFormSpy.h"
#include "acquisition/AcquisitionLoop.h"
#include "audio/AlsaWaveInput.h"

namespace varmolen {

using test::SpyScopeForm;
namespace {

// One private server, its folder and its tone player.
class PulseServer {
public:
    PulseServer()
    {
        char tmpl[] = "/tmp/varmolen-faults-XXXXXX";
        if (mkdtemp(tmpl) != nullptr)
            dir_ = tmpl;
    }
    ~PulseServer()
    {
        stop();
        if (!dir_.empty())
            std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    bool start()
    {
        if (dir_.empty())
            return false;
        const std::string cmd =
            std::string("sh '") + VARMOLEN_PULSE_RIG + "' start " + dir_ + " 2>>" + dir_ + "/rig.err";
        const bool ok = std::system(cmd.c_str()) == 0;
        setenv("XDG_RUNTIME_DIR", (dir_ + "/xdg").c_str(), 1);
        setenv("HOME", (dir_ + "/home").c_str(), 1);
        return ok;
    }
    // The server dies at once, as under the out-of-memory killer.
    void kill()
    {
        std::ifstream pidFile(dir_ + "/server.pid");
        long pid = 0;
        if (pidFile >> pid && pid > 0) {
            ::kill(static_cast<pid_t>(pid), SIGKILL);
            std::system(("while kill -0 " + std::to_string(pid) + " 2>/dev/null; do sleep 0.02; done").c_str());
        }
        stop();
    }
    // Runs pactl against this server (suspending its sink, say).
    bool pactl(const std::string& args)
    {
        return std::system(("XDG_RUNTIME_DIR='" + dir_ + "/xdg' pactl " + args + " >/dev/null 2>&1").c_str()) == 0;
    }
    void stop()
    {
        if (!dir_.empty())
            std::system((std::string("sh '") + VARMOLEN_PULSE_RIG + "' stop " + dir_).c_str());
    }

private:
    std::string dir_;
};

class ServerFaults : public test::WindowTestFolders {
protected:
    void SetUp() override
    {
        test::WindowTestFolders::SetUp();
        configPath = installDir.path() + "/Varmolen.cfg";
        ASSERT_TRUE(test::writeWholeFile(configPath, test::recordBytes(test::recordingScene())));
    }

    QString configPath;
};

TEST_F(ServerFaults, ServerKilledWhileRecordingEndsTheProgramAndARestartRecordsAgain)
{
    PulseServer server;
    if (!server.start())
        GTEST_SKIP() << "no private PulseAudio server could start (needs pulseaudio, pulseaudio-utils, "
                        "libasound2-plugins and sox); the server faults were not tested";

    std::vector<std::uint8_t> savedAtExit;
    {
        AlsaWaveInput input(listAlsaCaptureDevices());
        auto form = std::make_unique<SpyScopeForm>(input);
        form->host().setRecordOnly(true);
        form->show();
        InstrumentState& s = form->state();
        test::runFor(4000, [&] { return test::peak(s.chan1Samples) > 1000; });
        ASSERT_GT(test::peak(s.chan1Samples), 1000) << "the server's tone never reached channel 1";
        ASSERT_TRUE(form->host().recordedMessages().empty()) << form->host().recordedMessages().front().first;

        s.chan2Enabled = 1;  // a change made while running, to find in the saved file
        server.kill();
        bool failSafe = false;
        QObject failSafeScope;  // the fail-safe dies with this scope
        QTimer::singleShot(8000, &failSafeScope, [&] {
            failSafe = true;
            QCoreApplication::quit();
        });
        QCoreApplication::exec();

        EXPECT_FALSE(failSafe) << "the program did not end after the server died";
        EXPECT_FALSE(form->isVisible());
        const auto& messages = form->host().recordedMessages();
        ASSERT_FALSE(messages.empty()) << "the vanished device was not reported";
        for (const auto& [text, caption] : messages) {
            EXPECT_EQ(caption, "Wave Device Message") << text;
            std::printf("shown after the server died: \"%s\"\n", text.c_str());
        }
        EXPECT_GE(form->host().endRequests(), 1);
        const std::vector<std::uint8_t> expected = test::recordBytes(captureConfiguration(s));
        form.reset();
        savedAtExit = test::readWholeFile(configPath);
        EXPECT_EQ(savedAtExit, expected) << "the settings at exit were not saved";
        ASSERT_EQ(savedAtExit.size(), kConfigRecordBytes);
        EXPECT_EQ(savedAtExit[1], 1);
    }

    // The server back, the program started again: it records again, on the
    // settings the first run saved.
    ASSERT_TRUE(server.start()) << "the server did not start again";
    AlsaWaveInput input(listAlsaCaptureDevices());
    SpyScopeForm form(input);
    form.host().setRecordOnly(true);
    form.show();
    InstrumentState& s = form.state();
    EXPECT_EQ(s.chan2Enabled, 1) << "the saved settings were not read";
    test::runFor(4000, [&] { return test::peak(s.chan1Samples) > 1000; });
    EXPECT_GT(test::peak(s.chan1Samples), 1000) << "no tone recorded after the restart";
    EXPECT_TRUE(form.host().recordedMessages().empty());
    EXPECT_EQ(s.stopped, 0);
    form.close();
    EXPECT_FALSE(form.acquisition().running());
}

// The server's sink, and with it the monitor the window records from,
// suspended: the device delivers nothing, so the waits time out and restart
// it; the window keeps serving its events and shows no message, and once the
// sink is resumed the tone is recorded again.
TEST_F(ServerFaults, SuspendedSourceDeliversNothingWithoutHangingAndRecordsOnResume)
{
    PulseServer server;
    if (!server.start())
        GTEST_SKIP() << "no private PulseAudio server could start; the silent source was not tested";

    AlsaWaveInput input(listAlsaCaptureDevices());
    SpyScopeForm form(input);
    form.host().setRecordOnly(true);
    form.show();
    InstrumentState& s = form.state();
    test::runFor(4000, [&] { return test::peak(s.chan1Samples) > 1000; });
    ASSERT_GT(test::peak(s.chan1Samples), 1000) << "the server's tone never reached channel 1";

    ASSERT_TRUE(server.pactl("suspend-sink rig 1"));
    int ticks = 0;
    int timeouts = 0;  // the most the run counted; a fresh run counts from 0
    const qint64 took = test::runFor(2500, {}, [&] {
        ++ticks;
        timeouts = std::max(timeouts, form.acquisition().timeoutCount());
    });
    EXPECT_LT(took, 3100) << "the event loop was held up";
    EXPECT_GT(ticks, 125) << "the event loop was held up";
    EXPECT_TRUE(form.host().recordedMessages().empty()) << form.host().recordedMessages().front().first;
    EXPECT_EQ(form.host().endRequests(), 0);
    EXPECT_GE(timeouts, 1) << "a source that delivers nothing must time out";

    ASSERT_TRUE(server.pactl("suspend-sink rig 0"));
    s.chan1Samples.fill(0);
    test::runFor(4000, [&] { return test::peak(s.chan1Samples) > 1000; });
    EXPECT_GT(test::peak(s.chan1Samples), 1000) << "nothing recorded after the source resumed";
    EXPECT_TRUE(form.host().recordedMessages().empty());
    form.close();
    EXPECT_FALSE(form.acquisition().running());
}

}  // namespace
}  // namespace varmolen
