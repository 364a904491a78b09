// The whole window against a device that vanishes or goes silent while it
// records: the failure is shown, the program ends with its settings saved, a
// silent device is restarted without the window hanging, and it records
// again once it delivers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <set>
#include <string>

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>

#include "FaultHarness.h"
#include "WindowTestFolders.h"
#include "window/Varmolen2.h"
#include "tests/ScopeFormSpy.h"
#include "acquisition/AcquisitionLoop.h"
#include "tests/support/MemoryWaveInput.h"
#include "audio/GeneratorWaveInput.h"
#include "audio/StreamWaveInput.h"
#include "window/DataCommands.h"
#include "tests/audio/StuckSource.h"
#include "tests/persist/WavReading.h"

namespace varmolen {

using test::SpyScopeForm;
namespace {

class DeviceFaults : public test::WindowTestFolders {
protected:
    void SetUp() override
    {
        test::WindowTestFolders::SetUp();
        configPath = installDir.path() + "/Varmolen.cfg";
        ASSERT_TRUE(test::writeWholeFile(configPath, test::recordBytes(test::recordingScene())));
        // A quieter 250 Hz sine on the first value of each frame (channel 2),
        // a 1 kHz sine on the second (channel 1).
        device.setFrameSource([](std::uint64_t n) -> std::array<std::int16_t, 2> {
            const double t = static_cast<double>(n) / 44100.0;
            return {static_cast<std::int16_t>(6000 * std::sin(2 * std::numbers::pi * 250 * t)),
                    static_cast<std::int16_t>(12000 * std::sin(2 * std::numbers::pi * 1000 * t))};
        });
    }

    // The device's clock, run in step with the window's: 10 ms of frames
    // every 10 ms.
    void advance() { device.advanceFrames(441); }

    int calls(WaveCall kind) const
    {
        return static_cast<int>(std::count(device.calls().begin(), device.calls().end(), kind));
    }

    QString configPath;
    MemoryWaveInput device;
};

TEST_F(DeviceFaults, VanishingDeviceIsShownAndEndsTheProgramWithItsSettingsSaved)
{
    auto form = std::make_unique<SpyScopeForm>(device);
    form->host().setRecordOnly(true);
    form->show();
    InstrumentState& s = form->state();

    // Recording first: the sine reaches channel 1's block.
    test::runFor(
        3000, [&] { return test::peak(s.chan1Samples) > 8000; }, [&] { advance(); });
    ASSERT_GT(test::peak(s.chan1Samples), 8000) << "the device never recorded";
    ASSERT_TRUE(form->host().recordedMessages().empty());
    ASSERT_EQ(s.stopped, 0);

    // A change made while running, so the saved file can be told from the
    // prepared one.
    s.chan2Enabled = 1;
    device.failEverything();
    // The application's own loop this time: ending it is the path under test.
    // A fail-safe ends it after five seconds should the program not.
    bool failSafe = false;
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&] { advance(); });
    clock.start(10);
    QObject failSafeScope;  // the fail-safe dies with this scope
    QTimer::singleShot(5000, &failSafeScope, [&] {
        failSafe = true;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    clock.stop();

    EXPECT_FALSE(failSafe) << "the program did not end after the device vanished";
    EXPECT_FALSE(form->isVisible()) << "the window stayed open after the device vanished";
    const auto& messages = form->host().recordedMessages();
    ASSERT_FALSE(messages.empty());
    const std::set<std::string> known = {"Error getting the byte position",     "Error in sending 'a' buffer",
                                         "Error in sending 'b' buffer",         "Error preparing the header_a",
                                         "Error preparing the header_b",        "Error unpreparing the Header a",
                                         "Error unpreparing the Header b",      "Error Resetting the input wave device",
                                         "Error unpreparing the _a Header",     "Error unpreparing the _b Header",
                                         "Error closing the input wave device", "Error starting the input wave device"};
    for (const auto& [text, caption] : messages) {
        EXPECT_EQ(caption, "Wave Device Message");
        EXPECT_TRUE(known.count(text)) << "unexpected message: " << text;
    }
    EXPECT_GE(form->host().endRequests(), 1);
    EXPECT_EQ(s.stopped, 1);
    EXPECT_FALSE(form->acquisition().running());

    const std::vector<std::uint8_t> expected = test::recordBytes(captureConfiguration(s));
    form.reset();
    const std::vector<std::uint8_t> saved = test::readWholeFile(configPath);
    EXPECT_EQ(saved, expected) << "the settings at exit were not saved";
    ASSERT_EQ(saved.size(), kConfigRecordBytes);
    EXPECT_EQ(saved[1], 1) << "channel 2 switched on while running is in the saved file";
}

// The generator, until the test makes its device vanish.
class FailingGenerator : public GeneratorSource {
public:
    explicit FailingGenerator(std::shared_ptr<std::atomic<bool>> fail) : fail_(std::move(fail)) {}
    long read(void* dst, std::size_t frames, int wakeFd) override
    {
        return *fail_ ? -1 : GeneratorSource::read(dst, frames, wakeFd);
    }

private:
    std::shared_ptr<std::atomic<bool>> fail_;
};

// A device failure while a WAV recording runs ends the program (the first
// failure of a running acquisition does); the recording is closed first as
// a valid file, its end says so, and the settings are saved.
TEST_F(DeviceFaults, AFailureThatEndsTheProgramClosesTheRecordingFirstAndSavesTheSettings)
{
    auto fail = std::make_shared<std::atomic<bool>>(false);
    StreamWaveInput input({{"Failing", [fail] { return std::make_unique<FailingGenerator>(fail); }}});
    auto form = std::make_unique<SpyScopeForm>(input);
    form->host().setRecordOnly(true);
    form->show();
    InstrumentState& s = form->state();
    test::runFor(20000, [&] { return test::peak(s.chan1Samples) > 8000; });
    ASSERT_GT(test::peak(s.chan1Samples), 8000) << "the generator never recorded";

    QTemporaryDir folder;
    const QString path = folder.filePath("take.wav");
    DataCommands& commands = form->data();
    commands.runRecordDialog = [&](QFileDialog&) { return path; };
    form->data().RecordWav1Click(form->controls().fileMenu.RecordWav1);
    ASSERT_TRUE(commands.recording());
    test::runFor(20000, [&] { return commands.recordingStatus().framesQueued > 22050; });
    s.chan2Enabled = 1;  // a change the saved settings must show

    *fail = true;
    bool failSafe = false;
    QObject failSafeScope;
    QTimer::singleShot(20000, &failSafeScope, [&] {
        failSafe = true;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();

    EXPECT_FALSE(failSafe) << "the program did not end after the device failed";
    EXPECT_GE(form->host().endRequests(), 1);
    EXPECT_FALSE(commands.recording()) << "the recording was left running";
    std::string said;
    for (const auto& [text, caption] : form->host().recordedMessages())
        if (caption == kDataCaption)
            said = text;
    EXPECT_NE(said.find("The recording ended: the input device failed."), std::string::npos) << said;
    EXPECT_NE(said.find(QDir::toNativeSeparators(path).toStdString() + " holds 00:00:0"), std::string::npos) << said;
    const test::WavContents w = test::readWav(path.toStdString());
    ASSERT_EQ(w.problem, "");
    EXPECT_GT(w.frames(), 22050u);

    form.reset();
    const std::vector<std::uint8_t> saved = test::readWholeFile(configPath);
    ASSERT_EQ(saved.size(), kConfigRecordBytes);
    EXPECT_EQ(saved[1], 1) << "the settings at exit were not saved";
}

TEST_F(DeviceFaults, SilentDeviceIsRestartedWithoutHangingAndRecordsOnceItDelivers)
{
    device.setStalled(true);
    SpyScopeForm form(device);
    form.host().setRecordOnly(true);
    form.show();
    InstrumentState& s = form.state();

    // The window keeps serving its events while nothing arrives: each 250 ms
    // without a block resets and restarts the device; the fifth timeout ends
    // the run and a fresh one opens the device anew. Nothing pauses the
    // window meanwhile (this device has no thread to wait for).
    test::runFor(
        20000, [&] { return calls(WaveCall::Reset) >= 4 && calls(WaveCall::Open) >= 2; }, [&] { advance(); });
    EXPECT_EQ(form.host().pausedMs(), 0) << "the event loop was held up";
    EXPECT_TRUE(form.host().recordedMessages().empty());
    EXPECT_EQ(form.host().endRequests(), 0);
    EXPECT_TRUE(form.isVisible());
    EXPECT_GE(calls(WaveCall::Reset), 4);
    EXPECT_GE(calls(WaveCall::Start), 4);
    EXPECT_GE(calls(WaveCall::Open), 2) << "no fresh run after the fifth timeout";
    EXPECT_EQ(test::peak(s.chan1Samples), 0) << "nothing was recorded, so nothing can be shown";

    device.setStalled(false);
    test::runFor(
        3000, [&] { return test::peak(s.chan1Samples) > 8000; }, [&] { advance(); });
    EXPECT_GT(test::peak(s.chan1Samples), 8000) << "the device delivers again but nothing is recorded";
    EXPECT_GT(test::peak(s.chan2Samples), 4000);
    EXPECT_LT(test::peak(s.chan2Samples), 8000) << "the channels are apart";
    EXPECT_TRUE(form.host().recordedMessages().empty());
    form.close();
    EXPECT_FALSE(form.acquisition().running());
}

// A device that delivers only part of its frames (an overloaded server) is
// restarted when a block takes too long, never hangs the window, and still
// shows what it does record.
TEST_F(DeviceFaults, SlowDeviceKeepsTheWindowServed)
{
    device.setSpeed(0.1);
    SpyScopeForm form(device);
    form.host().setRecordOnly(true);
    form.show();
    test::runFor(
        20000, [&] { return calls(WaveCall::Reset) >= 1; }, [&] { advance(); });
    EXPECT_GE(calls(WaveCall::Reset), 1) << "a block a tenth as fast as real time should time out";
    EXPECT_EQ(form.host().pausedMs(), 0) << "the event loop was held up";
    EXPECT_TRUE(form.host().recordedMessages().empty());
    EXPECT_TRUE(form.isVisible());
    form.close();
    EXPECT_FALSE(form.acquisition().running());
    EXPECT_FALSE(device.isOpen()) << "closing the window releases the device";
}

// A source stuck inside its driver never lets its capture thread end. The
// close that ends a timed-out run gives up on it after its bound and reports
// the device, the window keeps serving its events, and closing the window
// still saves the settings.
TEST_F(DeviceFaults, StuckSourceIsGivenUpWithoutHoldingTheWindow)
{
    auto driver = std::make_shared<test::StuckDriver>();
    {
        StreamWaveInput stuck({{"Stuck", [driver] { return std::make_unique<test::StuckSource>(driver, false); }}});
        auto form = std::make_unique<SpyScopeForm>(stuck);
        form->host().setRecordOnly(true);
        form->show();
        const auto closesFailed = [&] {
            int n = 0;
            for (const auto& m : form->host().recordedMessages())
                n += m.first == "Error closing the input wave device";
            return n;
        };
        // The close gives up on the thread, which is still stuck in its read
        // (the window did not wait for it), and the program goes on.
        test::runFor(20000, [&] { return closesFailed() >= 1; });
        ASSERT_GE(closesFailed(), 1) << "the stuck device was never given up";
        EXPECT_TRUE(driver->inRead);
        EXPECT_EQ(driver->closed.load(), 0);
        EXPECT_EQ(form->host().endRequests(), 0) << "a failed close after a stop does not end the program";
        // It goes on trying the device, giving it up each time.
        test::runFor(20000, [&] { return closesFailed() >= 2; });
        EXPECT_GE(closesFailed(), 2) << "the window stopped serving its timers";
        EXPECT_TRUE(form->isVisible());

        form->state().chan2Enabled = 1;
        form->close();
        form.reset();
        const std::vector<std::uint8_t> saved = test::readWholeFile(configPath);
        ASSERT_EQ(saved.size(), kConfigRecordBytes);
        EXPECT_EQ(saved[1], 1) << "the settings at exit were not saved";
    }
    driver->release();
    test::runFor(2000, [&] { return driver->closed == driver->opened; });
    EXPECT_EQ(driver->closed.load(), driver->opened.load()) << "an abandoned capture thread did not end";
}

}  // namespace
}  // namespace varmolen
