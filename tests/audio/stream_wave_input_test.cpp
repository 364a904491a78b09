#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include <cerrno>
#include <filesystem>

#include "audio/AlsaDeviceList.h"
#include "audio/AlsaWaveInput.h"
#include "audio/GeneratorWaveInput.h"
#include "audio/StreamWaveInput.h"
#include "persist/WavRecorder.h"
#include "tests/audio/StuckSource.h"
#include "tests/persist/WavReading.h"

namespace varmolen {
namespace {

WAVEFORMATEX format(std::uint16_t channels, std::uint32_t rate)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<std::uint16_t>(channels * 2);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.wBitsPerSample = 16;
    return f;
}

void arm(WAVEHDR& h, std::uint8_t* data, std::uint32_t length)
{
    h.lpData = data;
    h.dwBufferLength = length;
    h.dwFlags = 0;
    h.dwLoops = 0;
}

bool waitDone(const WAVEHDR& h, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!(h.dwFlags.load(std::memory_order_acquire) & WHDR_DONE)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::int16_t valueAt(const std::uint8_t* p) { return static_cast<std::int16_t>(p[0] | (p[1] << 8)); }

TEST(Generator, SineAndSquareHaveTheirFrequenciesAndLevels)
{
    for (std::uint32_t rate : {11025u, 22050u, 44100u}) {
        int sineCrossings = 0, squareChanges = 0, sinePeak = 0;
        for (std::uint64_t k = 1; k <= rate; ++k) {
            const int s0 = generatorSine(k - 1, rate), s1 = generatorSine(k, rate);
            sinePeak = std::max(sinePeak, std::abs(s1));
            if ((s0 < 0) != (s1 < 0))
                ++sineCrossings;
            const int q0 = generatorSquare(k - 1, rate), q1 = generatorSquare(k, rate);
            EXPECT_EQ(std::abs(q1), 8192);
            if (q0 != q1)
                ++squareChanges;
        }
        EXPECT_NEAR(sineCrossings, 2000, 2) << rate;  // two per cycle of 1 kHz
        EXPECT_NEAR(squareChanges, 500, 1) << rate;   // two per cycle of 250 Hz
        EXPECT_NEAR(sinePeak, 16384, 200) << rate;
    }
}

TEST(Generator, RecordsPacedByTheClockWithTheCalibratorInBothChannels)
{
    GeneratorWaveInput input;
    ASSERT_EQ(input.waveInGetNumDevs(), 1u);
    WAVEINCAPSA caps{};
    ASSERT_EQ(input.waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Signal generator");

    std::atomic<int> notes{0};
    input.setNotifier([&] { ++notes; });
    const WAVEFORMATEX f = format(2, 44100);
    HWAVEIN h = 0;
    ASSERT_EQ(input.waveInOpen(nullptr, 0, &f, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    std::vector<std::uint8_t> a(8192), b(8192);
    WAVEHDR ha, hb;
    arm(ha, a.data(), 8192);
    arm(hb, b.data(), 8192);
    ASSERT_EQ(input.waveInPrepareHeader(h, &ha, sizeof ha), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInPrepareHeader(h, &hb, sizeof hb), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInAddBuffer(h, &ha, sizeof ha), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInAddBuffer(h, &hb, sizeof hb), MMSYSERR_NOERROR);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(input.waveInStart(h), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitDone(ha, std::chrono::seconds(10)));
    ASSERT_TRUE(waitDone(hb, std::chrono::seconds(10)));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    // Never ahead of the clock (a busy machine only makes it later): 4096
    // frames at 44100 Hz take 93 ms, or the last 20 ms chunk came early. A
    // device that delivered at once would show the instrument a meaningless
    // time base.
    EXPECT_GT(seconds, (4096.0 - 882) / 44100);
    EXPECT_EQ(ha.dwBytesRecorded.load(), 8192u);
    EXPECT_GT(notes.load(), 4);
    for (std::uint64_t k = 0; k < 2048; ++k) {
        ASSERT_EQ(valueAt(&a[4 * k]), generatorSquare(k, 44100)) << k;
        ASSERT_EQ(valueAt(&a[4 * k + 2]), generatorSine(k, 44100)) << k;
        ASSERT_EQ(valueAt(&b[4 * k + 2]), generatorSine(2048 + k, 44100)) << k;
    }
    MMTIME t{};
    ASSERT_EQ(input.waveInGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
    EXPECT_EQ(t.cb, 16384u);  // nothing is counted while no buffer is queued

    ASSERT_EQ(input.waveInReset(h), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInUnprepareHeader(h, &ha, sizeof ha), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInUnprepareHeader(h, &hb, sizeof hb), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInClose(h), MMSYSERR_NOERROR);
}

TEST(StreamWaveInput, ResetReturnsQueuedBuffersDoneWithWhatTheyHold)
{
    GeneratorWaveInput input;
    const WAVEFORMATEX f = format(1, 11025);
    HWAVEIN h = 0;
    ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    // The first buffer lasts 18 s: the reset comes long before it is full.
    std::vector<std::uint8_t> a(400000), b(20000);
    WAVEHDR ha, hb;
    arm(ha, a.data(), 400000);
    arm(hb, b.data(), 20000);
    input.waveInPrepareHeader(h, &ha, sizeof ha);
    input.waveInPrepareHeader(h, &hb, sizeof hb);
    input.waveInAddBuffer(h, &ha, sizeof ha);
    input.waveInAddBuffer(h, &hb, sizeof hb);
    // Unpreparing or closing while the device holds a buffer is refused.
    EXPECT_EQ(input.waveInUnprepareHeader(h, &ha, sizeof ha), WAVERR_STILLPLAYING);
    EXPECT_EQ(input.waveInClose(h), WAVERR_STILLPLAYING);
    input.waveInStart(h);
    // Reset once something was recorded into the first buffer.
    MMTIME t{};
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (input.waveInGetPosition(h, &t, sizeof t) == MMSYSERR_NOERROR && t.cb == 0 &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(input.waveInReset(h), MMSYSERR_NOERROR);
    EXPECT_TRUE(ha.dwFlags & WHDR_DONE);
    EXPECT_TRUE(hb.dwFlags & WHDR_DONE);
    const std::uint32_t held = ha.dwBytesRecorded;
    EXPECT_GT(held, 0u);
    EXPECT_LT(held, 400000u);
    EXPECT_EQ(held % 2, 0u);
    EXPECT_EQ(hb.dwBytesRecorded.load(), 0u);
    input.waveInGetPosition(h, &t, sizeof t);
    EXPECT_EQ(t.cb, 0u);
    // Nothing is written after the reset, up to the end of the capture
    // thread (the close waits for it).
    EXPECT_EQ(input.waveInClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(ha.dwBytesRecorded.load(), held);
    EXPECT_EQ(std::count(a.begin() + held, a.end(), 0), static_cast<long>(400000 - held));
}

TEST(StreamWaveInput, RefusesWhatItCannotDoWithResultCodes)
{
    GeneratorWaveInput input;
    WAVEFORMATEX f = format(2, 11025);
    HWAVEIN h = 0;
    EXPECT_EQ(input.waveInOpen(&h, 1, &f, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(input.waveInOpen(&h, 0, &f, 1234, 0, 0), MMSYSERR_INVALFLAG);
    WAVEFORMATEX odd = format(2, 47999);
    EXPECT_EQ(input.waveInOpen(&h, 0, &odd, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
    WAVEFORMATEX wrongRate = f;
    wrongRate.nAvgBytesPerSec = 1;
    EXPECT_EQ(input.waveInOpen(&h, 0, &wrongRate, 0, 0, 0), WAVERR_BADFORMAT);
    EXPECT_EQ(h, 0u);
    WAVEINCAPSA caps{};
    EXPECT_EQ(input.waveInGetDevCapsA(3, &caps, sizeof caps), MMSYSERR_BADDEVICEID);

    ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, 0), MMSYSERR_NOERROR);
    HWAVEIN second = 0;
    EXPECT_EQ(input.waveInOpen(&second, 0, &f, 0, 0, 0), MMSYSERR_ALLOCATED);
    WAVEHDR unprepared;
    std::uint8_t data[64];
    arm(unprepared, data, 64);
    EXPECT_EQ(input.waveInAddBuffer(h, &unprepared, sizeof unprepared), WAVERR_UNPREPARED);
    EXPECT_EQ(input.waveInStart(h + 1), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(input.waveInPrepareHeader(h, &unprepared, 31), MMSYSERR_INVALPARAM);
    EXPECT_EQ(input.waveInClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(input.waveInStart(h), MMSYSERR_INVALHANDLE);
}

// A source whose device disappears after a few chunks.
class VanishingSource : public CaptureSource {
public:
    MMRESULT query(const WAVEFORMATEX&) override { return MMSYSERR_NOERROR; }
    MMRESULT open(const WAVEFORMATEX&) override { return MMSYSERR_NOERROR; }
    bool start() override { return true; }
    long read(void* out, std::size_t frames, int) override
    {
        auto* dst = static_cast<std::int16_t*>(out);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (++reads > 3)
            return -1;
        std::memset(dst, 0, frames * 4);
        return static_cast<long>(frames);
    }
    void stop() override {}
    void close() override {}
    int reads = 0;
};

TEST(StreamWaveInput, VanishedDeviceFailsLaterCallsButCanBeReleased)
{
    StreamWaveInput input({{"Vanishing", [] { return std::make_unique<VanishingSource>(); }}});
    std::atomic<int> notes{0};
    input.setNotifier([&] { ++notes; });
    const WAVEFORMATEX f = format(2, 44100);
    HWAVEIN h = 0;
    ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, 0), MMSYSERR_NOERROR);
    std::vector<std::uint8_t> a(20000);
    WAVEHDR ha;
    arm(ha, a.data(), 20000);
    input.waveInPrepareHeader(h, &ha, sizeof ha);
    input.waveInAddBuffer(h, &ha, sizeof ha);
    input.waveInStart(h);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!input.deviceFailed() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(input.deviceFailed());
    EXPECT_GE(notes.load(), 4);  // three chunks and the failure
    MMTIME t{};
    EXPECT_NE(input.waveInGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
    EXPECT_NE(input.waveInStart(h), MMSYSERR_NOERROR);
    EXPECT_EQ(ha.dwFlags & WHDR_DONE, 0u);  // never completed
    EXPECT_EQ(input.waveInReset(h), MMSYSERR_NOERROR);
    EXPECT_EQ(ha.dwBytesRecorded.load(), 3u * (44100 / kChunksPerSecond) * 4);
    EXPECT_EQ(input.waveInUnprepareHeader(h, &ha, sizeof ha), MMSYSERR_NOERROR);
    EXPECT_EQ(input.waveInClose(h), MMSYSERR_NOERROR);
}

TEST(StreamWaveInput, CloseGivesUpOnAStuckSourceWithinItsBoundAndTheServiceGoesOn)
{
    using clock = std::chrono::steady_clock;
    for (const bool spins : {false, true}) {
        SCOPED_TRACE(spins ? "a source that spins" : "a source that never returns");
        auto driver = std::make_shared<test::StuckDriver>();
        {
            StreamWaveInput input(
                {{"Stuck", [driver, spins] { return std::make_unique<test::StuckSource>(driver, spins); }},
                 generatorDevice()});
            const WAVEFORMATEX f = format(2, 11025);
            HWAVEIN h = 0;
            ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, 0), MMSYSERR_NOERROR);
            std::vector<std::uint8_t> a(4096);
            WAVEHDR ha;
            arm(ha, a.data(), 4096);
            input.waveInPrepareHeader(h, &ha, sizeof ha);
            input.waveInAddBuffer(h, &ha, sizeof ha);
            input.waveInStart(h);
            const auto entered = clock::now() + std::chrono::seconds(10);
            while (!driver->inRead && clock::now() < entered)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_TRUE(driver->inRead);

            EXPECT_EQ(input.waveInReset(h), MMSYSERR_NOERROR);
            EXPECT_TRUE(ha.dwFlags & WHDR_DONE);
            EXPECT_EQ(input.waveInUnprepareHeader(h, &ha, sizeof ha), MMSYSERR_NOERROR);
            // Reported, not waited for: the close returns while the read is
            // still stuck.
            EXPECT_EQ(input.waveInClose(h), MMSYSERR_ERROR);
            EXPECT_TRUE(driver->inRead);
            EXPECT_EQ(driver->closed, 0) << "the source is released by its own thread, not under it";

            // The service opens and records again, here from the generator.
            std::vector<std::uint8_t> b(4096);
            WAVEHDR hb;
            arm(hb, b.data(), 4096);
            ASSERT_EQ(input.waveInOpen(&h, 1, &f, 0, 0, 0), MMSYSERR_NOERROR);
            input.waveInPrepareHeader(h, &hb, sizeof hb);
            input.waveInAddBuffer(h, &hb, sizeof hb);
            input.waveInStart(h);
            EXPECT_TRUE(waitDone(hb, std::chrono::seconds(10)));
            EXPECT_EQ(input.waveInReset(h), MMSYSERR_NOERROR);
            EXPECT_EQ(input.waveInUnprepareHeader(h, &hb, sizeof hb), MMSYSERR_NOERROR);
            EXPECT_EQ(input.waveInClose(h), MMSYSERR_NOERROR);
        }
        // The service is gone; the stuck thread, once let go, ends by itself.
        driver->release();
        const auto end = clock::now() + std::chrono::seconds(10);
        while (driver->closed < 1 && clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(driver->closed, 1);
    }
}

// A counting recording tap.
struct TapCounter : RecordingTap {
    void deliver(const std::int16_t*, std::size_t count, bool) override { frames += count; }
    void deviceFailed() override {}
    void formatChanged() override {}
    std::atomic<std::uint64_t> frames{0};
};

TEST(StreamWaveInput, ACaptureThreadLeftStuckAtCloseNeverHandsARecordingAnotherChunk)
{
    auto driver = std::make_shared<test::StuckDriver>();
    driver->framesOnRelease = 220;
    auto tap = std::make_shared<TapCounter>();
    {
        StreamWaveInput input({{"Stuck", [driver] { return std::make_unique<test::StuckSource>(driver, false); }}});
        const WAVEFORMATEX f = format(2, 11025);
        ASSERT_TRUE(input.setRecordingTap(tap, 0, f));
        HWAVEIN h = 0;
        ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, 0), MMSYSERR_NOERROR);
        input.waveInStart(h);
        const auto entered = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!driver->inRead && std::chrono::steady_clock::now() < entered)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        input.waveInReset(h);
        ASSERT_EQ(input.waveInClose(h), MMSYSERR_ERROR);
        // The recording goes on with the next open of the same device; the
        // abandoned thread's late chunk must not land in it.
        driver->release();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (driver->closed < 1 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(driver->closed, 1);
    }
    EXPECT_EQ(tap->frames.load(), 0u);
}

// ALSA's null device played as a card that overruns and is suspended: its
// reads deliver a ramp of the card's frame numbers, 441 frames (10 ms) each,
// on a clock of its own; at two points the card goes on recording while
// nobody reads (an overrun after read 5, a suspend after read 16 that does
// not resume at the first try) and the frames recorded meanwhile are lost.
class OverrunningCard : public AlsaCaptureSource {
public:
    static constexpr std::size_t kReads = 24;
    static constexpr std::uint32_t kRate = 44100;
    static constexpr long kFramesPerRead = 441;

    OverrunningCard() : AlsaCaptureSource("null") {}

    // The card frames each break lost: [from, to).
    std::vector<std::pair<std::uint64_t, std::uint64_t>> lost;
    std::atomic<bool> done{false};

protected:
    long pcmRead(void* out, std::size_t frames) override
    {
        auto* dst = static_cast<std::int16_t*>(out);
        if (reads_ == kReads) {
            done = true;
            return -EAGAIN;
        }
        if (reads_ == 5 && !overrun_) {
            overrun_ = true;
            ms_ += 300;
            return -EPIPE;
        }
        if (reads_ == 16 && !resumed_) {
            ms_ += suspended_ ? 10 : 500;
            suspended_ = true;
            return -ESTRPIPE;
        }
        const auto n = std::min<std::size_t>(frames, kFramesPerRead);
        for (std::size_t k = 0; k < n; ++k, ++readPos_) {
            dst[2 * k] = static_cast<std::int16_t>(readPos_ % 30000);
            dst[2 * k + 1] = static_cast<std::int16_t>(-static_cast<long>(readPos_ % 30000));
        }
        ms_ += 10;
        ++reads_;
        return static_cast<long>(n);
    }
    int pcmPrepareAndStart() override
    {
        restartAtClock();
        return 0;
    }
    int pcmResume() override
    {
        if (++resumeTries_ == 1)
            return -EAGAIN;  // not ready yet: asked again at the next read
        resumed_ = true;
        restartAtClock();
        return 0;
    }
    long pcmBacklog() override { return 0; }
    std::chrono::steady_clock::time_point now() const override
    {
        return std::chrono::steady_clock::time_point(std::chrono::milliseconds(ms_));
    }

private:
    void restartAtClock()
    {
        const std::uint64_t recorded = ms_ * kRate / 1000;
        lost.emplace_back(readPos_, recorded);
        readPos_ = recorded;
    }
    std::size_t reads_ = 0;
    std::uint64_t ms_ = 1000;
    std::uint64_t readPos_ = 1000 * kRate / 1000;
    bool overrun_ = false, suspended_ = false, resumed_ = false;
    int resumeTries_ = 0;
};

TEST(AlsaCaptureSource, OverrunsAndSuspendsAreCountedMarkedAndLeaveSilenceOfTheirLengthInTheRecording)
{
    OverrunningCard* card = nullptr;
    StreamWaveInput input({{"Overrunning", [&card] {
                                auto c = std::make_unique<OverrunningCard>();
                                card = c.get();
                                return c;
                            }}});
    const WAVEFORMATEX f = format(2, OverrunningCard::kRate);
    char folder[] = "/tmp/varmolen-breaks-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/breaks.wav";
    std::string whyNot;
    auto recorder = WavRecorder::start(path, OverrunningCard::kRate, 2, 60 * OverrunningCard::kRate, whyNot);
    ASSERT_TRUE(recorder) << whyNot;
    ASSERT_TRUE(input.setRecordingTap(recorder->tap(), 0, f));

    // Six buffers of four reads each.
    constexpr std::uint32_t kBufferBytes = 4 * OverrunningCard::kFramesPerRead * 4;
    std::vector<std::vector<std::uint8_t>> data(6, std::vector<std::uint8_t>(kBufferBytes));
    std::array<WAVEHDR, 6> headers;
    HWAVEIN h = 0;
    ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, 0), MMSYSERR_NOERROR);
    for (std::size_t i = 0; i < headers.size(); ++i) {
        arm(headers[i], data[i].data(), kBufferBytes);
        input.waveInPrepareHeader(h, &headers[i], sizeof(WAVEHDR));
        input.waveInAddBuffer(h, &headers[i], sizeof(WAVEHDR));
    }
    input.waveInStart(h);
    ASSERT_TRUE(waitDone(headers[5], std::chrono::seconds(10)));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!card->done && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(card->done);
    EXPECT_FALSE(input.deviceFailed()) << "a break is no failure";
    const auto lostRanges = card->lost;  // the card goes with the close

    // The buffer the overrun fell in and the one after it, and the one the
    // suspend came just before, do not follow the buffer before them.
    for (std::size_t i = 0; i < headers.size(); ++i)
        EXPECT_EQ((headers[i].dwFlags & WHDR_AFTERBREAK) != 0, i == 1 || i == 2 || i == 4) << "buffer " << i;

    input.clearRecordingTap();
    ASSERT_TRUE(recorder->finish());
    input.waveInReset(h);
    for (WAVEHDR& header : headers)
        input.waveInUnprepareHeader(h, &header, sizeof(WAVEHDR));
    EXPECT_EQ(input.waveInClose(h), MMSYSERR_NOERROR);

    ASSERT_EQ(lostRanges.size(), 2u);
    std::uint64_t lostFrames = 0;
    for (const auto& [from, to] : lostRanges)
        lostFrames += to - from;
    EXPECT_EQ(lostFrames, (300 + 500 + 10) * 441u / 10);
    const RecordingStatus st = recorder->status();
    EXPECT_EQ(st.deviceBreaks, 2u);
    EXPECT_EQ(st.framesLost, lostFrames);
    EXPECT_EQ(st.framesSilence, lostFrames);
    EXPECT_EQ(st.breaks, 0u) << "the stream was never restarted by the service";

    // Time in the file is the card's time: every frame is the card's frame
    // of that moment, or silence where the card's frames were lost.
    const test::WavContents w = test::readWav(path);
    ASSERT_EQ(w.problem, "");
    const std::uint64_t origin = 1000 * OverrunningCard::kRate / 1000;
    ASSERT_EQ(w.frames(), OverrunningCard::kReads * 441 + lostFrames);
    for (std::size_t i = 0; i < w.frames(); ++i) {
        const std::uint64_t k = origin + i;
        bool silent = false;
        for (const auto& [from, to] : lostRanges)
            silent = silent || (k >= from && k < to);
        const auto value = static_cast<std::int16_t>(silent ? 0 : k % 30000);
        ASSERT_EQ(w.samples[2 * i], value) << "frame " << i;
        ASSERT_EQ(w.samples[2 * i + 1], static_cast<std::int16_t>(-value)) << "frame " << i;
    }
    std::filesystem::remove_all(folder);
}

TEST(StreamWaveInput, ProductNamesAreCutTo31Characters)
{
    StreamWaveInput input({{"An unusually long capture device description", nullptr}});
    WAVEINCAPSA caps{};
    ASSERT_EQ(input.waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(caps.szPname), "An unusually long capture devic");
}

TEST(AlsaDeviceList, KeepsDefaultThenCardCaptureDevicesThroughThePlugLayer)
{
    const std::vector<AlsaHint> hints{
        {"null", "Discard all samples", ""},
        {"lavrate", "Rate Converter Plugin Using Libav/FFmpeg Library", ""},
        {"samplerate", "Rate Converter Plugin Using Samplerate Library", ""},
        {"speexrate", "Rate Converter Plugin Using Speex Resampler", ""},
        {"jack", "JACK Audio Connection Kit", ""},
        {"oss", "Open Sound System", ""},
        {"pulse", "PulseAudio Sound Server", ""},
        {"upmix", "Plugin for channel upmix (4,6,8)", ""},
        {"vdownmix", "Plugin for channel downmix (stereo) with a simple spacialization", ""},
        {"hw:CARD=PCH,DEV=0", "HDA Intel PCH, ALC3246 Analog\nFront microphone", ""},
        {"hw:CARD=PCH,DEV=3", "HDA Intel PCH, HDMI 0", "Output"},
        {"dmix:CARD=PCH,DEV=0", "HDA Intel PCH, ALC3246 Analog", "Output"},
        {"dsnoop:CARD=PCH,DEV=0", "HDA Intel PCH, ALC3246 Analog", "Input"},
        {"surround51:CARD=PCH,DEV=0", "HDA Intel PCH, ALC3246 Analog", "Output"},
        {"hdmi:CARD=PCH,DEV=0", "HDA Intel PCH, HDMI 0", "Output"},
        {"hw:CARD=Mic,DEV=0", "USB Microphone With An Extremely Long Name, USB Audio", "Input"},
        {"default", "Default ALSA Output (currently PulseAudio Sound Server)", ""},
    };
    const std::vector<AlsaCaptureDevice> devices = selectCaptureDevices(hints);
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].pcmName, "default");
    EXPECT_EQ(devices[1].pcmName, "plughw:CARD=PCH,DEV=0");
    EXPECT_EQ(devices[1].productName, "HDA Intel PCH, ALC3246 Analog Front microphone");
    EXPECT_EQ(devices[2].pcmName, "plughw:CARD=Mic,DEV=0");
    EXPECT_EQ(devices[2].productName, "USB Microphone With An Extremely Long Name, USB Audio");

    EXPECT_TRUE(selectCaptureDevices({{"null", "Discard all samples", ""}}).empty());
}

}  // namespace
}  // namespace varmolen

namespace varmolen {
namespace {

// A device is asked which rates it takes once, while it is closed, and its
// answer kept: opened, it answers what it answered before (a card open for
// capture cannot be opened again to be asked); one that cannot answer is
// offered every rate, marked native none, and asked again next time.
TEST(StreamWaveInput, DeviceRatesAreAskedWhileClosedAndKept)
{
    int asked = 0;
    bool answers = false;
    const DeviceRates card{rateBits([](std::uint32_t r) { return r <= 48000; }),
                           rateBits([](std::uint32_t r) { return r == 48000; })};
    StreamWaveInput input({{"Card", [] { return std::make_unique<GeneratorSource>(); },
                            [&]() -> std::optional<DeviceRates> {
                                ++asked;
                                return answers ? std::optional<DeviceRates>(card) : std::nullopt;
                            }},
                           generatorDevice()});
    EXPECT_EQ(input.deviceRates(0), DeviceRates::unknown()) << "busy: every rate, none native";
    answers = true;
    HWAVEIN h = 0;
    const WAVEFORMATEX f = format(2, 48000);
    ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(asked, 2) << "asked again just before the open";
    answers = false;
    EXPECT_EQ(input.deviceRates(0), card);
    EXPECT_TRUE(card.takes(48000) && card.isNative(48000) && !card.takes(96000) && !card.isNative(44100));
    EXPECT_EQ(input.waveInClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(input.deviceRates(0), card);
    EXPECT_EQ(asked, 2);
    const DeviceRates generator = input.deviceRates(1);
    EXPECT_EQ(generator.taken, DeviceRates::unknown().taken);
    EXPECT_EQ(generator.native, generator.taken) << "the calibrator computes every rate itself";
    EXPECT_EQ(input.deviceRates(2), DeviceRates{});
}

TEST(AlsaDeviceRates, NativeRatesAreAskedOfTheCardUnderThePlugLayer)
{
    const std::pair<const char*, const char*> names[] = {
        {"plughw:CARD=PCH,DEV=0", "hw:CARD=PCH,DEV=0"},
        {"plughw:1,0", "hw:1,0"},
        {"default", ""},
        {"pulse", ""},
        {"hw:CARD=PCH,DEV=0", ""},
        {"plug", ""},
    };
    for (const auto& [pcm, native] : names)
        EXPECT_EQ(nativePcmName(pcm), native) << pcm;
    EXPECT_EQ(alsaDeviceRates("no-such-device-anywhere"), std::nullopt);
}

}  // namespace
}  // namespace varmolen
