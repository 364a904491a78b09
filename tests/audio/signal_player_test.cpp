// The playback thread against devices played by the test: one that plays in
// real time, one that runs dry, one that vanishes and one stuck in its driver.
// Every wait has a generous deadline; nothing is timed.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/CaptureSource.h"
#include "audio/SignalPlayer.h"

namespace varmolen {
namespace {

enum class Fault { None, RunsDry, Vanishes, Stuck };

struct Device {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::int32_t> played;  // every code written, left and right
    std::atomic<int> writes{0};
    std::atomic<bool> closed{false};
    bool released = false;
};

class TestSink : public PlaybackSink {
public:
    TestSink(std::shared_ptr<Device> d, Fault fault) : d_(std::move(d)), fault_(fault) {}
    int open(unsigned, std::string&) override { return 16; }
    long write(const std::int32_t* codes, std::size_t frames, int wakeFd) override
    {
        const int n = ++d_->writes;
        if (fault_ == Fault::Vanishes && n > 5)
            return -1;
        if (fault_ == Fault::Stuck && n > 5) {
            // Ignores the wake-up until the test lets it go.
            std::unique_lock lock(d_->m);
            d_->cv.wait(lock, [&] { return d_->released; });
            return -1;
        }
        // A device that takes a period each 2 ms, or wakes up early.
        if (waitReadable(wakeFd, 2))
            return 0;
        std::lock_guard lock(d_->m);
        d_->played.insert(d_->played.end(), codes, codes + 2 * frames);
        return static_cast<long>(frames);
    }
    std::uint32_t takeUnderruns() override { return fault_ == Fault::RunsDry ? 1 : 0; }
    void close() override { d_->closed = true; }

private:
    std::shared_ptr<Device> d_;
    Fault fault_;
};

// A device that tells its room, a few hundred frames at a time, takes part
// of each write, and holds 200 ms: more than the player's own tail.
class RoomSink : public PlaybackSink {
public:
    explicit RoomSink(std::shared_ptr<Device> d) : d_(std::move(d)) {}
    int open(unsigned, std::string&) override { return 16; }
    long room(int wakeFd, int waitMs) override { return waitReadable(wakeFd, std::min(waitMs, 1)) ? 0 : 300; }
    std::size_t bufferFrames() const override { return 9600; }
    long write(const std::int32_t* codes, std::size_t frames, int) override
    {
        ++d_->writes;
        const std::size_t n = std::min<std::size_t>(frames, 128);
        std::lock_guard lock(d_->m);
        d_->played.insert(d_->played.end(), codes, codes + 2 * n);
        return static_cast<long>(n);
    }
    void close() override { d_->closed = true; }

private:
    std::shared_ptr<Device> d_;
};

template <class Condition>
bool waitFor(Condition done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

TEST(SignalPlayer, PlaysRampsOutAndReportsFaultsOnceWithinItsBounds)
{
    for (const Fault fault : {Fault::None, Fault::RunsDry, Fault::Vanishes, Fault::Stuck}) {
        SCOPED_TRACE(static_cast<int>(fault));
        auto device = std::make_shared<Device>();
        SignalPlayer player([&] { return std::make_unique<TestSink>(device, fault); });
        std::atomic<int> reports{0};
        player.setFailureNotifier([&] { ++reports; });
        std::string whyNot;
        ASSERT_TRUE(player.start(48000, {.hz = 1000, .levelDbfs = 0}, whyNot));
        // Played a while; a stuck device is inside the write it never returns from.
        ASSERT_TRUE(waitFor([&] {
            return device->writes >= 20 || fault == Fault::Vanishes || (fault == Fault::Stuck && device->writes > 5);
        }));
        if (fault == Fault::Vanishes) {
            // The flag is up before the report is made (the report reads it),
            // so wait for both; once is checked again after stopping.
            ASSERT_TRUE(waitFor([&] { return player.failed() && reports > 0; }));
            EXPECT_TRUE(device->closed);
        }
        if (fault == Fault::RunsDry) {
            EXPECT_GE(player.underruns(), 10u);
        }
        // A stuck device is given up: stop returns (false) instead of hanging.
        const bool ended = player.stop();
        EXPECT_FALSE(player.playing());
        if (fault == Fault::Stuck) {
            EXPECT_FALSE(ended);
            EXPECT_TRUE(player.failed()) << "a device that would not close counts as failed";
            {
                std::lock_guard lock(device->m);
                device->released = true;
            }
            device->cv.notify_all();
            EXPECT_TRUE(waitFor([&] { return device->closed.load(); })) << "the abandoned thread closes its device";
            continue;
        }
        EXPECT_TRUE(ended);
        EXPECT_TRUE(device->closed);
        EXPECT_EQ(reports, fault == Fault::Vanishes ? 1 : 0);
        if (fault != Fault::None)
            continue;
        // Played out: the tone fell along the ramp into silence, which lasted
        // until the device was closed; nothing stopped at full level.
        std::lock_guard lock(device->m);
        const std::vector<std::int32_t>& p = device->played;
        const auto lastSound = std::find_if(p.rbegin(), p.rend(), [](std::int32_t v) { return v != 0; });
        ASSERT_NE(lastSound, p.rend());
        const std::size_t silence = static_cast<std::size_t>(lastSound - p.rbegin()) / 2;
        EXPECT_GE(silence, 48000u * SignalPlayer::kTailMs / 1000 - 480);
        const std::size_t end = p.size() - 2 * silence;
        const std::size_t ramp = 48000 * 5 / 1000;
        std::int32_t before5ms = 0, last1ms = 0;
        for (std::size_t i = end - 2 * 2 * ramp; i < end - 2 * ramp; i += 2)
            before5ms = std::max(before5ms, std::abs(p[i]));
        for (std::size_t i = end - 2 * 48; i < end; i += 2)
            last1ms = std::max(last1ms, std::abs(p[i]));
        EXPECT_GT(before5ms, 30000);
        EXPECT_LT(last1ms, 32767 / 4);
    }
}

TEST(SignalPlayer, PlaysWhatTheDeviceAsksForWholeIntoTheRampAndPlaysOutItsBuffer)
{
    auto device = std::make_shared<Device>();
    SignalPlayer player([&] { return std::make_unique<RoomSink>(device); });
    std::string whyNot;
    ASSERT_TRUE(player.start(48000, {.hz = 1000, .levelDbfs = 0}, whyNot));
    ASSERT_TRUE(waitFor([&] { return device->writes >= 200; }));
    ASSERT_TRUE(player.stop());
    std::lock_guard lock(device->m);
    const std::vector<std::int32_t>& p = device->played;
    // A 1 kHz sine at full scale moves at most 2 pi 1000 / 48000 of full
    // scale a frame (plus the dither): a block cut short at the stop would
    // jump further.
    int jump = 0;
    for (std::size_t i = 2; i < p.size(); i += 2)
        jump = std::max(jump, std::abs(p[i] - p[i - 2]));
    EXPECT_LT(jump, 4400);
    const auto lastSound = std::find_if(p.rbegin(), p.rend(), [](std::int32_t v) { return v != 0; });
    ASSERT_NE(lastSound, p.rend());
    EXPECT_GE(static_cast<std::size_t>(lastSound - p.rbegin()) / 2, 9600u) << "the tail covers what the device holds";
}

TEST(SignalPlayer, PlaysASignalOnceFromItsFirstFrameThenSilence)
{
    auto signal = std::make_shared<std::vector<float>>(12000);
    for (std::size_t n = 0; n < signal->size(); ++n)
        (*signal)[n] = static_cast<float>(0.8 * std::sin(0.01 * static_cast<double>(n)));
    auto device = std::make_shared<Device>();
    SignalPlayer player([&] { return std::make_unique<TestSink>(device, Fault::None); });
    std::string whyNot;
    ASSERT_TRUE(player.start(48000, {.hz = 1000, .levelDbfs = 0}, whyNot, true, signal));
    ASSERT_TRUE(waitFor([&] { return player.oncePlayed() == signal->size(); }));
    const int writes = device->writes;
    ASSERT_TRUE(waitFor([&] { return device->writes > writes + 2; }));  // and some silence after it
    ASSERT_TRUE(player.stop());
    EXPECT_EQ(player.oncePlayed(), signal->size());
    std::lock_guard lock(device->m);
    const std::vector<std::int32_t>& p = device->played;
    ASSERT_GT(p.size(), 2 * signal->size());
    // From the first frame, on both channels: the signal, dithered.
    for (std::size_t i = 0; i < 2 * signal->size(); ++i)
        ASSERT_NEAR(p[i], (*signal)[i / 2] * 32767.0, 1.5) << "frame " << i / 2;
    EXPECT_TRUE(std::all_of(p.begin() + static_cast<std::ptrdiff_t>(2 * signal->size()), p.end(), [](std::int32_t c) {
        return c == 0;
    })) << "silence after it, until the device closes";
}

}  // namespace
}  // namespace varmolen
