// The WAV recorder below the window (the window's tests record the generator
// through the capture thread's tap): the length limit, a disk that fills up,
// a file size limit, a folder removed under it, an overflowing queue and bad
// places.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "persist/WavRecorder.h"
#include "tests/persist/WavReading.h"

namespace varmolen {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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
