// The WAV recorder below the window (the window's tests record the generator
// through the capture thread's tap): the length limit, a disk that fills up,
// a file size limit, a folder removed under it, an overflowing queue and bad
// places.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
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
    // Far faster than any disk: the queue must fill. 40 s of sound, less
    // than the most silence one gap may be given.
    std::vector<std::int16_t> chunk(882 * 2, 7);
    int pushed = 0;
    bool dropped = false;  // the chunk pushed last found the queue full
    const auto push = [&](const std::vector<std::int16_t>& c) {
        const std::uint32_t overruns = recorder->status().overruns;
        recorder->tap()->deliver(c.data(), 882, false);
        ++pushed;
        dropped = recorder->status().overruns != overruns;
    };
    while (pushed < 2000)
        push(chunk);
    // Once the writer has made room, the next chunk queued brings the
    // silence owed for everything dropped before it.
    const std::vector<std::int16_t> last(882 * 2, 9);
    const bool droppedBeforeLast = dropped;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (push(last); dropped && std::chrono::steady_clock::now() < deadline; push(last))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(recorder->finish(10000));
    const RecordingStatus st = recorder->status();
    EXPECT_GT(st.overruns, 0u);
    EXPECT_EQ(st.framesQueued + st.framesDropped, 882u * pushed);
    EXPECT_EQ(st.framesDropped, 882u * st.overruns);
    EXPECT_EQ(st.framesSilence, st.framesDropped);
    EXPECT_EQ(st.framesWritten, st.framesQueued + st.framesSilence);
    EXPECT_EQ(st.largestDepth, 256u);
    // Time in the file stays true, and the last chunk is the last sound.
    const test::WavContents w = test::readWav(file("flood.wav"));
    ASSERT_EQ(w.problem, "");
    ASSERT_EQ(w.frames(), 882u * pushed);
    EXPECT_EQ(w.samples.back(), 9);
    if (droppedBeforeLast || pushed > 2001) {
        EXPECT_EQ(w.samples[w.samples.size() - 882 * 2 - 1], 0) << "silence stands before the last chunk";
    }
}

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> names(const std::string& dir)
{
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// The recording is made beside the chosen file, which it replaces only once
// it is put in place: until then, and when it is discarded, an existing file
// stays as it was and nothing else is left in its folder.
TEST_F(Folder, AnExistingFileIsReplacedOnlyOnceTheRecordingIsPutInPlace)
{
    const std::string path = file("take.wav");
    {
        std::ofstream(path) << "the user's earlier take";
    }
    std::vector<std::int16_t> chunk(882 * 2, 5);
    std::string whyNot;
    {
        auto recorder = WavRecorder::start(path, 44100, 2, 44100 * 60, whyNot, true);
        ASSERT_TRUE(recorder) << whyNot;
        recorder->tap()->deliver(chunk.data(), 882, true);
        EXPECT_EQ(contents(path), "the user's earlier take");
        recorder->discard();
        EXPECT_EQ(contents(path), "the user's earlier take");
        EXPECT_EQ(names(dir), std::vector<std::string>{"take.wav"});
        auto dropped = WavRecorder::start(path, 44100, 2, 44100 * 60, whyNot, true);
        ASSERT_TRUE(dropped) << whyNot;
    }  // a recorder never put in place goes with its file
    EXPECT_EQ(contents(path), "the user's earlier take");
    EXPECT_EQ(names(dir), std::vector<std::string>{"take.wav"});

    auto recorder = WavRecorder::start(path, 44100, 2, 44100 * 60, whyNot, true);
    ASSERT_TRUE(recorder) << whyNot;
    ASSERT_TRUE(recorder->putInPlace(whyNot)) << whyNot;
    recorder->tap()->deliver(chunk.data(), 882, true);
    ASSERT_TRUE(recorder->finish());
    EXPECT_EQ(names(dir), std::vector<std::string>{"take.wav"});
    const test::WavContents w = test::readWav(path);
    ASSERT_EQ(w.problem, "");
    EXPECT_EQ(w.frames(), 882u);
}

// A take replaced keeps what the user gave the file it replaces: its mode
// (a private take stays private) and its owner and group.
TEST_F(Folder, AReplacedFileKeepsItsModeAndOwner)
{
    const struct {
        mode_t mode;
        bool giveAway;  // owned by another user, where this one may give files away
    } cases[] = {{0600, false}, {0640, false}, {0664, true}};
    std::vector<std::int16_t> chunk(882 * 2, 5);
    for (const auto& c : cases) {
        const std::string path = file("kept.wav");
        {
            std::ofstream(path) << "earlier";
        }
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        const bool given = c.giveAway && ::chown(path.c_str(), 4242, 4343) == 0;
        struct stat before {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        std::string whyNot;
        auto recorder = WavRecorder::start(path, 44100, 2, 44100 * 60, whyNot);
        ASSERT_TRUE(recorder) << whyNot;
        recorder->tap()->deliver(chunk.data(), 882, true);
        ASSERT_TRUE(recorder->finish());
        struct stat after {};
        ASSERT_EQ(::stat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode & 07777, c.mode);
        EXPECT_NE(after.st_ino, before.st_ino) << "the recording is a new file";
        if (given) {
            EXPECT_EQ(after.st_uid, 4242u);
            EXPECT_EQ(after.st_gid, 4343u);
        }
        EXPECT_EQ(test::readWav(path).problem, "");
        fs::remove(path);
    }
}

// Where nothing may be replaced, a taken name (a file, a link, even one that
// points nowhere, or a file made between the start and the placement) is
// refused with "exists" and left exactly as it was.
TEST_F(Folder, ANameThatMustBeNewIsNeverReplaced)
{
    {
        std::ofstream(file("take.wav")) << "the user's earlier take";
    }
    ASSERT_EQ(::symlink("nowhere.wav", file("dangling.wav").c_str()), 0);
    std::string whyNot;
    for (const char* name : {"take.wav", "dangling.wav"}) {
        EXPECT_EQ(WavRecorder::start(file(name), 44100, 2, 1000, whyNot, true, WavRecorder::Existing::Refuse), nullptr);
        EXPECT_EQ(whyNot, WavRecorder::kExistsReason) << name;
    }
    EXPECT_EQ(contents(file("take.wav")), "the user's earlier take");
    EXPECT_FALSE(fs::exists(file("nowhere.wav")));

    auto late = WavRecorder::start(file("late.wav"), 44100, 2, 1000, whyNot, true, WavRecorder::Existing::Refuse);
    ASSERT_TRUE(late) << whyNot;
    {
        std::ofstream(file("late.wav")) << "made meanwhile";
    }
    EXPECT_FALSE(late->putInPlace(whyNot));
    EXPECT_EQ(whyNot, WavRecorder::kExistsReason);
    late->discard();
    EXPECT_EQ(contents(file("late.wav")), "made meanwhile");

    auto fresh = WavRecorder::start(file("new.wav"), 44100, 2, 1000, whyNot, true, WavRecorder::Existing::Refuse);
    ASSERT_TRUE(fresh) << whyNot;
    ASSERT_TRUE(fresh->putInPlace(whyNot)) << whyNot;
    ASSERT_TRUE(fresh->finish());
    EXPECT_EQ(names(dir), (std::vector<std::string>{"dangling.wav", "late.wav", "new.wav", "take.wav"}));
    EXPECT_EQ(test::readWav(file("new.wav")).problem, "");
}

// A name that is a symbolic link: the recording replaces the file the link
// points to, and the link stays a link.
TEST_F(Folder, ALinkRecordsIntoTheFileItNames)
{
    const std::string real = file("take.wav");
    const std::string link = file("latest.wav");
    {
        std::ofstream(real) << "the user's earlier take";
    }
    ASSERT_EQ(::symlink("take.wav", link.c_str()), 0);
    std::vector<std::int16_t> chunk(882 * 2, 5);
    std::string whyNot;
    auto recorder = WavRecorder::start(link, 44100, 2, 44100 * 60, whyNot);
    ASSERT_TRUE(recorder) << whyNot;
    recorder->tap()->deliver(chunk.data(), 882, true);
    ASSERT_TRUE(recorder->finish());
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by the recording";
    EXPECT_EQ(names(dir), (std::vector<std::string>{"latest.wav", "take.wav"}));
    const test::WavContents w = test::readWav(real);
    ASSERT_EQ(w.problem, "");
    EXPECT_EQ(w.frames(), 882u);
}

// Frames the header of a mono file counts, as the writer last brought it up
// to date (libsndfile's 44-byte header: the data chunk's size at byte 40).
std::uint64_t headerFrames(const std::string& path)
{
    const std::string b = contents(path);
    if (b.size() < 44 || b.compare(36, 4, "data") != 0)
        return 0;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(b[i])); };
    return (byte(40) | byte(41) << 8 | byte(42) << 16 | byte(43) << 24) / 2;
}

// A file renamed or moved while it is recorded goes on recording and is
// named where it is at the end; only a deleted file ends the recording.
TEST_F(Folder, AMovedFileGoesOnRecordingAndADeletedOneEndsIt)
{
    fs::create_directory(file("elsewhere"));
    struct Case {
        const char* what;
        std::string to;  // empty: deleted
    };
    for (const Case& c : {Case{"renamed", file("renamed.wav")},
                          Case{"moved to another folder", file("elsewhere/take.wav")}, Case{"deleted", ""}}) {
        SCOPED_TRACE(c.what);
        const std::string path = file("take.wav");
        std::string whyNot;
        auto recorder = WavRecorder::start(path, 11025, 1, 11025 * 60, whyNot);
        ASSERT_TRUE(recorder) << whyNot;
        std::vector<std::int16_t> chunk(220, 9);
        recorder->tap()->deliver(chunk.data(), chunk.size(), true);
        if (c.to.empty())
            fs::remove(path);
        else
            fs::rename(path, c.to);
        // The writer looks at its file when it brings the header up to date:
        // deliver until the header at the new place counts frames given after
        // the move (or the recording ends).
        std::uint64_t given = chunk.size();
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (recorder->status().end == RecordingEnd::None && std::chrono::steady_clock::now() < until &&
               (c.to.empty() || headerFrames(c.to) <= chunk.size())) {
            recorder->tap()->deliver(chunk.data(), chunk.size(), false);
            given += chunk.size();
            std::this_thread::sleep_for(20ms);
        }
        if (c.to.empty()) {
            EXPECT_EQ(recorder->status().end, RecordingEnd::FileVanished);
            EXPECT_NE(recorder->status().whyNot.find("deleted"), std::string::npos) << recorder->status().whyNot;
            EXPECT_TRUE(recorder->finish());
            continue;
        }
        EXPECT_EQ(recorder->status().end, RecordingEnd::None) << "the moved file ended the recording";
        ASSERT_TRUE(recorder->finish());
        const RecordingStatus st = recorder->status();
        EXPECT_EQ(st.end, RecordingEnd::Stopped);
        EXPECT_EQ(fs::path(st.where), fs::canonical(c.to));
        EXPECT_FALSE(fs::exists(path));
        const test::WavContents w = test::readWav(c.to);
        ASSERT_EQ(w.problem, "");
        EXPECT_EQ(w.frames(), given);
        fs::remove(c.to);
    }
}

// The sound a device lost in a break becomes silence of its length, from the
// first frame on and at most kMaxBreakSilenceSeconds for one break.
TEST_F(Folder, BreaksInTheDevicesSoundBecomeSilenceOfTheirLength)
{
    std::string whyNot;
    auto recorder = WavRecorder::start(file("breaks.wav"), 11025, 1, 11025 * 3600, whyNot);
    ASSERT_TRUE(recorder) << whyNot;
    RecordingTap& tap = *recorder->tap();
    const std::vector<std::int16_t> ones(100, 1);
    tap.streamBroke(500);  // before the first frame: nothing to keep time with
    tap.deliver(ones.data(), ones.size(), true);
    tap.streamBroke(30);
    tap.streamBroke(20);  // two breaks before the next frames: one stretch
    tap.deliver(ones.data(), ones.size(), false);
    tap.streamBroke(11025ull * 3600);  // a machine that slept for an hour
    tap.deliver(ones.data(), ones.size(), false);
    ASSERT_TRUE(recorder->finish(10000));

    const RecordingStatus st = recorder->status();
    const std::uint64_t most = WavRecorder::kMaxBreakSilenceSeconds * 11025ull;
    EXPECT_EQ(st.deviceBreaks, 4u);
    EXPECT_EQ(st.framesLost, 550u + 11025ull * 3600);
    EXPECT_EQ(st.framesSilence, 50u + most);
    EXPECT_TRUE(st.silenceCut);
    const test::WavContents w = test::readWav(file("breaks.wav"));
    ASSERT_EQ(w.problem, "");
    ASSERT_EQ(w.frames(), 300u + 50u + most);
    const auto count = [&](std::size_t from, std::size_t n, std::int16_t v) {
        return static_cast<std::size_t>(std::count(w.samples.begin() + from, w.samples.begin() + from + n, v));
    };
    EXPECT_EQ(count(0, 100, 1), 100u);
    EXPECT_EQ(count(100, 50, 0), 50u);
    EXPECT_EQ(count(150, 100, 1), 100u);
    EXPECT_EQ(count(250, most, 0), most);
    EXPECT_EQ(count(250 + most, 100, 1), 100u);
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

namespace varmolen {
namespace {

// The length limit in frames: minutes at the rate, cut where a WAV file's
// 32-bit sizes would overflow: at 192000 Hz stereo after 93 minutes in 16
// bits, and sooner for the wider frames of 24-bit and float files (a float
// file at 44100 Hz stereo after 3 hours 23 minutes).
TEST(WavRecorderLimit, MinutesAtTheRateWithinWhatAWavFileDescribes)
{
    using F = RecordFormat;
    const struct {
        std::int32_t minutes;
        std::uint32_t rate;
        std::uint16_t channels;
        F format;
        std::uint64_t frames;
    } cases[] = {
        {60, 44100, 2, F::Pcm16, 158'760'000},     {360, 44100, 2, F::Pcm16, 952'560'000},
        {60, 192000, 2, F::Pcm16, 691'200'000},    {360, 192000, 2, F::Pcm16, 1'073'740'799},
        {360, 192000, 1, F::Pcm16, 2'147'481'599}, {120, 96000, 2, F::Pcm16, 691'200'000},
        {60, 96000, 2, F::Pcm24, 345'600'000},     {360, 44100, 2, F::Pcm24, 715'827'199},
        {360, 192000, 1, F::Pcm24, 1'431'654'399}, {60, 48000, 1, F::Float32, 172'800'000},
        {360, 44100, 2, F::Float32, 536'870'399},  {360, 192000, 1, F::Float32, 1'073'740'799},
    };
    for (const auto& c : cases)
        EXPECT_EQ(recordLimitFrames(c.minutes, c.rate, c.channels, c.format), c.frames)
            << c.minutes << " min at " << c.rate << " Hz, " << c.channels << " channels, format "
            << static_cast<int>(c.format);
    // The largest file of each format fits its header (a float file's is
    // the longest, 58 bytes) within the 4 GiB its sizes count.
    for (const F format : {F::Pcm16, F::Pcm24, F::Float32})
        for (std::uint16_t channels : {1, 2})
            EXPECT_LE(maxWavFrames(channels, format) * recordBytesPerSample(format) * channels + 58u, 0xFFFFFFFFull);
}

}  // namespace
}  // namespace varmolen
