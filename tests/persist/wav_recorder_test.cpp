// WAV recording below the window: the built-in generator recorded through the
// capture thread's tap, across a stop and start of the device, up to a
// format change and a length limit; and a recorder whose disk fills up,
// whose file size is limited, whose queue overflows or whose folder is bad.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "audio/GeneratorWaveInput.h"
#include "persist/WavRecorder.h"
#include "tests/persist/WavReading.h"

namespace varmolen {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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

// Counts what the service hands over, then passes it on: what "delivered"
// means, independent of the recorder's own counts.
struct CountingTap : RecordingTap {
    explicit CountingTap(std::shared_ptr<RecordingTap> t) : inner(std::move(t)) {}
    void deliver(const std::int16_t* frames, std::size_t count, bool afterStart) override
    {
        delivered += count;
        ++chunks;
        inner->deliver(frames, count, afterStart);
    }
    void deviceFailed() override { inner->deviceFailed(); }
    void formatChanged() override { inner->formatChanged(); }
    std::shared_ptr<RecordingTap> inner;
    std::atomic<std::uint64_t> delivered{0};
    std::atomic<int> chunks{0};
};

class Folder : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/varmolen-wav-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        if (mounted)
            ::umount2(dir.c_str(), MNT_DETACH);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    std::string file(const char* name) const { return (fs::path(dir) / name).string(); }

    std::string dir;
    bool mounted = false;
};

// Opens the generator, records for `time` with no buffer queued (the tap
// takes every chunk all the same), and closes it again.
void runGenerator(StreamWaveInput& input, const WAVEFORMATEX& f, std::chrono::milliseconds time)
{
    HWAVEIN h = 0;
    ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInStart(h), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(time);
    ASSERT_EQ(input.waveInReset(h), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInClose(h), MMSYSERR_NOERROR);
}

// Frame k of the generator's stereo stream, as the file must hold it.
void expectGeneratorFrames(const test::WavContents& w, std::size_t from, std::size_t count, std::uint32_t rate)
{
    for (std::size_t k = 0; k < count; ++k) {
        ASSERT_EQ(w.samples[2 * (from + k)], generatorSquare(k, rate)) << "frame " << from + k;
        ASSERT_EQ(w.samples[2 * (from + k) + 1], generatorSine(k, rate)) << "frame " << from + k;
    }
}

TEST_F(Folder, GeneratorRecordingHoldsEveryFrameAcrossAStopAndStartAndEndsAtAFormatChange)
{
    GeneratorWaveInput input;
    const WAVEFORMATEX stereo = format(2, 44100);
    std::string whyNot;
    auto recorder = WavRecorder::start(file("take.wav"), 44100, 2, 44100 * 60, whyNot);
    ASSERT_TRUE(recorder) << whyNot;
    auto counting = std::make_shared<CountingTap>(recorder->tap());
    // Set while no device is open: the tap waits for the next open.
    ASSERT_TRUE(input.setRecordingTap(counting, 0, stereo));

    runGenerator(input, stereo, 700ms);
    const std::uint64_t firstRun = counting->delivered;
    // A command stops and starts the device in the same format: the file runs on.
    runGenerator(input, stereo, 400ms);
    const std::uint64_t bothRuns = counting->delivered;
    // Another rate ends the recording; nothing of the new run is taken.
    HWAVEIN h = 0;
    const WAVEFORMATEX mono = format(1, 22050);
    ASSERT_EQ(input.waveInOpen(&h, 0, &mono, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    input.waveInStart(h);
    std::this_thread::sleep_for(100ms);
    input.waveInReset(h);
    input.waveInClose(h);
    EXPECT_EQ(counting->delivered.load(), bothRuns);
    const RecordingStatus ended = recorder->status();
    EXPECT_EQ(ended.end, RecordingEnd::FormatChanged);
    ASSERT_TRUE(recorder->finish());

    const RecordingStatus st = recorder->status();
    EXPECT_TRUE(st.finished);
    EXPECT_EQ(st.end, RecordingEnd::FormatChanged);
    EXPECT_EQ(st.overruns, 0u);
    EXPECT_EQ(st.breaks, 1u);
    EXPECT_GT(firstRun, 44100u * 6 / 10);
    EXPECT_GT(counting->chunks.load(), 50);
    EXPECT_EQ(st.framesWritten, bothRuns);

    const test::WavContents w = test::readWav(file("take.wav"));
    ASSERT_EQ(w.problem, "");
    EXPECT_EQ(w.rate, 44100u);
    EXPECT_EQ(w.channels, 2u);
    ASSERT_EQ(w.frames(), bothRuns);
    // Each run's frames follow the generator without a jump at any chunk
    // boundary; the second run starts the generator's phase afresh.
    expectGeneratorFrames(w, 0, firstRun, 44100);
    expectGeneratorFrames(w, firstRun, bothRuns - firstRun, 44100);
}

TEST_F(Folder, LimitEndsTheFileAtExactlyItsLength)
{
    std::string whyNot;
    auto recorder = WavRecorder::start(file("short.wav"), 11025, 1, 3000, whyNot);
    ASSERT_TRUE(recorder) << whyNot;
    std::vector<std::int16_t> chunk(220);
    for (int i = 0; i < 20; ++i) {
        for (std::size_t k = 0; k < chunk.size(); ++k)
            chunk[k] = static_cast<std::int16_t>(i * 220 + k);
        recorder->tap()->deliver(chunk.data(), chunk.size(), false);
    }
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (recorder->status().end == RecordingEnd::None && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(recorder->status().end, RecordingEnd::LimitReached);
    ASSERT_TRUE(recorder->finish());
    const test::WavContents w = test::readWav(file("short.wav"));
    ASSERT_EQ(w.problem, "");
    ASSERT_EQ(w.frames(), 3000u);
    EXPECT_EQ(w.samples[2999], 2999);
}

// Feeds a recognisable ramp like a capture thread (but faster than real
// time) until the recording ends or `chunks` were handed over.
std::uint64_t feedUntilEnd(WavRecorder& r, int chunks)
{
    std::vector<std::int16_t> chunk(882 * 2);
    std::uint64_t frame = 0;
    for (int i = 0; i < chunks && r.status().end == RecordingEnd::None; ++i) {
        for (std::size_t k = 0; k < 882; ++k, ++frame) {
            chunk[2 * k] = static_cast<std::int16_t>(frame % 32000);
            chunk[2 * k + 1] = static_cast<std::int16_t>(-static_cast<int>(frame % 32000));
        }
        r.tap()->deliver(chunk.data(), 882, false);
        std::this_thread::sleep_for(2ms);
    }
    return frame;
}

void expectRampPrefix(const test::WavContents& w)
{
    for (std::size_t k = 0; k < w.frames(); ++k) {
        ASSERT_EQ(w.samples[2 * k], static_cast<std::int16_t>(k % 32000)) << k;
        ASSERT_EQ(w.samples[2 * k + 1], static_cast<std::int16_t>(-static_cast<int>(k % 32000))) << k;
    }
}

// A full disk (a small file system of its own, where mounting one is
// allowed) and a file size limit (ulimit -f): the recording ends with the
// system's reason, and the file is a valid WAV file of every frame written.
TEST_F(Folder, FullDiskOrSizeLimitEndsWithAReasonAndAPlayableFile)
{
    struct Case {
        const char* name;
        const char* reason;
        bool tmpfs;
    };
    for (const Case c : {Case{"size limit", "File too large", false}, Case{"full disk", "No space left", true}}) {
        SCOPED_TRACE(c.name);
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (c.tmpfs) {
            if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=300k") != 0) {
                std::cout << "[ SKIPPED  ] the full-disk case: no right to mount a file system here\n";
                continue;
            }
            mounted = true;
        } else {
            rlimit small = saved;
            small.rlim_cur = 250'003;  // not a whole number of frames
            ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        std::string whyNot;
        auto recorder = WavRecorder::start(file(c.tmpfs ? "full.wav" : "limited.wav"), 44100, 2, 44100 * 60, whyNot);
        ASSERT_TRUE(recorder) << whyNot;
        feedUntilEnd(*recorder, 400);
        const bool closed = recorder->finish();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        ASSERT_TRUE(closed);
        const RecordingStatus st = recorder->status();
        EXPECT_EQ(st.end, RecordingEnd::WriteFailed);
        EXPECT_NE(st.whyNot.find(c.reason), std::string::npos) << st.whyNot;
        EXPECT_GT(st.framesWritten, 20000u);
        const test::WavContents w = test::readWav(recorder->path());
        ASSERT_EQ(w.problem, "");
        EXPECT_EQ(w.frames(), st.framesWritten);
        expectRampPrefix(w);
        if (mounted) {
            ASSERT_EQ(::umount2(dir.c_str(), MNT_DETACH), 0);
            mounted = false;
        }
    }
}

TEST_F(Folder, AFolderRemovedWhileRecordingEndsTheRecordingAndSaysSo)
{
    fs::create_directory(file("gone"));
    std::string whyNot;
    auto recorder = WavRecorder::start(file("gone/take.wav"), 44100, 2, 44100 * 60, whyNot);
    ASSERT_TRUE(recorder) << whyNot;
    std::vector<std::int16_t> chunk(882 * 2, 3);
    recorder->tap()->deliver(chunk.data(), 882, false);
    fs::remove_all(file("gone"));
    const auto until = std::chrono::steady_clock::now() + 3s;
    while (recorder->status().end == RecordingEnd::None && std::chrono::steady_clock::now() < until) {
        recorder->tap()->deliver(chunk.data(), 882, false);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(recorder->status().end, RecordingEnd::FileVanished);
    EXPECT_TRUE(recorder->finish());
}

TEST_F(Folder, FullQueueCountsEveryDroppedFrameAndKeepsTheRest)
{
    std::string whyNot;
    auto recorder = WavRecorder::start(file("flood.wav"), 44100, 2, 44100 * 3600, whyNot);
    ASSERT_TRUE(recorder) << whyNot;
    // Far faster than any disk: the queue must fill.
    std::vector<std::int16_t> chunk(882 * 2, 7);
    const int pushed = 5000;
    for (int i = 0; i < pushed; ++i)
        recorder->tap()->deliver(chunk.data(), 882, false);
    ASSERT_TRUE(recorder->finish(10000));
    const RecordingStatus st = recorder->status();
    EXPECT_GT(st.overruns, 0u);
    EXPECT_EQ(st.framesQueued + st.framesDropped, 882u * pushed);
    EXPECT_EQ(st.framesDropped, 882u * st.overruns);
    EXPECT_EQ(st.framesWritten, st.framesQueued);
    EXPECT_EQ(st.largestDepth, 256u);
    EXPECT_EQ(test::readWav(file("flood.wav")).frames(), st.framesQueued);
}

TEST_F(Folder, BadPlacesAreRefusedWithAReasonAndLeaveNoFile)
{
    fs::create_directory(file("sub"));
    {
        std::ofstream plain(file("plain"));
    }
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {file("missing/take.wav"), "No such file or directory"},
        {file("plain/take.wav"), "Not a directory"},
        {file("sub"), "not a file"},
        {"", "no file name"},
    };
    std::vector<std::pair<std::string, const char*>> all;
    for (const auto& c : cases)
        all.emplace_back(c.path, c.reason);
    if (::geteuid() != 0) {  // permissions do not hold back the superuser
        fs::create_directory(file("locked"));
        fs::permissions(file("locked"), fs::perms::owner_read | fs::perms::owner_exec);
        all.emplace_back(file("locked/take.wav"), "Permission denied");
    }
    for (const auto& c : all) {
        std::string whyNot;
        EXPECT_EQ(WavRecorder::start(c.first, 44100, 2, 1000, whyNot), nullptr) << c.first;
        EXPECT_NE(whyNot.find(c.second), std::string::npos) << c.first << ": " << whyNot;
    }
    EXPECT_FALSE(fs::exists(file("missing")));
}

}  // namespace
}  // namespace varmolen
