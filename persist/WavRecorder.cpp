#include "persist/WavRecorder.h"

#include <fcntl.h>
#include <pthread.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <type_traits>
#include <variant>

#include "audio/RecordingQueue.h"
#include "persist/WavSamples.h"

namespace varmolen {

// What the capture thread, the writer thread and the user-interface side of
// one recording share. The writer thread holds it too, so a writer that
// outlives finish() never touches freed memory.
struct WavRecorder::Shared final : RecordingTap {
    Shared(std::uint32_t r, std::uint16_t ch, std::uint64_t limit, RecordFormat f)
        : queue(wav::queueFor(f, ch, r)), format(f), rate(r), channels(ch), limitFrames(limit)
    {}

    // ---- the capture thread's side: never waits
    void deliver(const std::int16_t* frames, std::size_t frameCount, bool afterStart) override
    {
        if (frameCount == 0 || !accepting.load(std::memory_order_acquire))
            return;
        // Silence for a break stands before the next frames that reach the
        // file; a chunk the queue had no room for leaves it pending. A
        // 16-bit file takes the codes as they are, a finer one widened.
        const bool pushed = std::visit(
            [&](auto& q) {
                using Value = typename std::remove_cvref_t<decltype(*q)>::Sample;
                if constexpr (std::is_same_v<Value, std::int16_t>) {
                    return q->push(frames, frameCount, afterStart, pendingSilence);
                } else {
                    return q->pushWith(frameCount, afterStart, pendingSilence,
                                       [&](Value* out, std::size_t from, std::size_t n) {
                                           const std::int16_t* in = frames + from * channels;
                                           for (std::size_t i = 0; i < n * channels; ++i)
                                               wav::widen(in[i], out[i]);
                                       });
                }
            },
            queue);
        counted(pushed, frameCount, afterStart);
    }
    void deliverFine(const std::uint8_t* frames, SampleFormat sampleFormat, int channelCount, std::size_t frameCount,
                     bool afterStart) override
    {
        if (format == RecordFormat::Pcm16) {
            // A 16-bit file takes the code each value draws.
            RecordingTap::deliverFine(frames, sampleFormat, channelCount, frameCount, afterStart);
            return;
        }
        if (frameCount == 0 || !accepting.load(std::memory_order_acquire))
            return;
        if (channelCount != channels ||
            (sampleFormat != SampleFormat::S32LE && sampleFormat != SampleFormat::FloatLE)) {
            // Frames the file has no room for: as a change of format.
            endWith(RecordingEnd::FormatChanged);
            return;
        }
        const bool pushed = std::visit(
            [&](auto& q) {
                using Value = typename std::remove_cvref_t<decltype(*q)>::Sample;
                if constexpr (std::is_same_v<Value, std::int16_t>) {
                    return false;  // never: a 16-bit file's frames went above
                } else {
                    return q->pushWith(frameCount, afterStart, pendingSilence,
                                       [&](Value* out, std::size_t from, std::size_t n) {
                                           wav::convertFrames(sampleFormat, frames, channels, from, n, out);
                                       });
                }
            },
            queue);
        counted(pushed, frameCount, afterStart);
    }
    // What became of `frameCount` frames the capture thread handed over.
    void counted(bool pushed, std::size_t frameCount, bool afterStart)
    {
        if (afterStart && framesQueued.load(std::memory_order_relaxed) > 0)
            breaks.fetch_add(1, std::memory_order_relaxed);
        if (!pushed) {
            overruns.fetch_add(1, std::memory_order_relaxed);
            framesDropped.fetch_add(frameCount, std::memory_order_relaxed);
            // What the disk could not take keeps its time in the file, as
            // a break of the device's does.
            oweSilence(frameCount);
            return;
        }
        framesSilence.fetch_add(pendingSilence, std::memory_order_relaxed);
        pendingSilence = 0;
        framesQueued.fetch_add(frameCount, std::memory_order_relaxed);
        const std::size_t depth = std::visit([](const auto& q) { return q->depth(); }, queue);
        if (depth > largestDepth.load(std::memory_order_relaxed))
            largestDepth.store(depth, std::memory_order_relaxed);
    }
    void streamBroke(std::uint64_t lostFrames) override
    {
        if (!accepting.load(std::memory_order_acquire))
            return;
        deviceBreaks.fetch_add(1, std::memory_order_relaxed);
        framesLost.fetch_add(lostFrames, std::memory_order_relaxed);
        oweSilence(lostFrames);
    }
    // Silence the next chunk queued brings before it, at most
    // kMaxBreakSilenceSeconds at a time. Before the first frame there is
    // nothing to keep time with.
    void oweSilence(std::uint64_t lostFrames)
    {
        if (framesQueued.load(std::memory_order_relaxed) == 0)
            return;
        const std::uint64_t most = static_cast<std::uint64_t>(kMaxBreakSilenceSeconds) * rate;
        if (pendingSilence + lostFrames > most)
            silenceCut.store(true, std::memory_order_relaxed);
        pendingSilence = static_cast<std::uint32_t>(std::min<std::uint64_t>(pendingSilence + lostFrames, most));
    }
    void deviceFailed() override { endWith(RecordingEnd::DeviceFailed); }
    void formatChanged() override { endWith(RecordingEnd::FormatChanged); }

    // Any thread: the first reason given is the one that ends the recording.
    void endWith(RecordingEnd why, const std::string& text = {})
    {
        {
            std::lock_guard lock(mutex);
            if (end != RecordingEnd::None)
                return;
            end = why;
            whyNot = text;
            accepting.store(false, std::memory_order_release);
        }
        wake.notify_all();
    }
    bool ending() const
    {
        std::lock_guard lock(mutex);
        return end != RecordingEnd::None;
    }

    wav::AnyQueue queue;
    const RecordFormat format;
    const std::uint32_t rate;
    const std::uint16_t channels;
    const std::uint64_t limitFrames;
    std::atomic<bool> accepting{true};
    std::atomic<std::uint64_t> framesQueued{0};
    std::atomic<std::uint64_t> framesWritten{0};
    std::atomic<std::uint64_t> framesDropped{0};
    std::atomic<std::uint32_t> overruns{0};
    std::atomic<std::uint32_t> breaks{0};
    std::atomic<std::uint32_t> deviceBreaks{0};
    std::atomic<std::uint64_t> framesLost{0};
    std::atomic<std::uint64_t> framesSilence{0};
    std::atomic<bool> silenceCut{false};
    std::atomic<std::size_t> largestDepth{0};
    // The capture thread's own: silence owed to the next chunk queued.
    std::uint32_t pendingSilence = 0;

    mutable std::mutex mutex;
    std::condition_variable wake;  // the end was asked for
    std::condition_variable finishedCv;
    RecordingEnd end = RecordingEnd::None;
    std::string whyNot;
    std::string where;  // the file's path as the writer closed it
    bool finished = false;

    // The writer's own.
    int fd = -1;
    SNDFILE* file = nullptr;
};

namespace {

std::string describe(const std::string& what, int error)
{
    return what + ": " + std::generic_category().message(error);
}

// The file the recording writes to still has a name somewhere: renamed or
// moved within its file system it goes on; deleted, its sound is lost.
bool stillLinked(int fd)
{
    struct stat now {};
    return ::fstat(fd, &now) == 0 && now.st_nlink > 0;
}

// Where the open file is now, as the system names it.
std::string currentPath(int fd)
{
    char link[PATH_MAX];
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(proc.c_str(), link, sizeof link - 1);
    if (n <= 0)
        return {};
    return std::string(link, static_cast<std::size_t>(n));
}

// A name for the new file beside `path` that no other file has, made with
// `mode` (less the user's umask).
int createBeside(const std::string& path, std::string& temp, mode_t mode)
{
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = path + ".recording-" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1));
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// The owner and group of a file replaced, where the user may give them;
// otherwise at least its group, where the user belongs to it. A file neither
// can be given to stays the user's own.
void keepOwner(const std::string& path, const struct stat& old)
{
    if (::chown(path.c_str(), old.st_uid, old.st_gid) != 0 &&
        ::chown(path.c_str(), static_cast<uid_t>(-1), old.st_gid) != 0)
        return;
}

// The file a symbolic link names (through every link in the chain), or the
// name itself when it is no link or points nowhere yet.
std::string linkTarget(const std::string& path)
{
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
        return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return path;
    std::string target(real);
    std::free(real);
    return target;
}

sf_count_t writeFrames(SNDFILE* file, const std::int16_t* v, sf_count_t n) { return sf_writef_short(file, v, n); }
sf_count_t writeFrames(SNDFILE* file, const std::int32_t* v, sf_count_t n) { return sf_writef_int(file, v, n); }
sf_count_t writeFrames(SNDFILE* file, const float* v, sf_count_t n) { return sf_writef_float(file, v, n); }

}  // namespace

std::uint64_t maxWavFrames(std::uint16_t channels, RecordFormat format)
{
    constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - 4096;  // the header's chunks besides
    return kMaxDataBytes / (std::uint64_t{recordBytesPerSample(format)} * std::max<std::uint16_t>(channels, 1));
}

std::uint64_t recordLimitFrames(std::int32_t minutes, std::uint32_t rate, std::uint16_t channels, RecordFormat format)
{
    const std::uint64_t wanted = static_cast<std::uint64_t>(std::max(minutes, 0)) * 60u * rate;
    return std::min(wanted, maxWavFrames(channels, format));
}

std::unique_ptr<WavRecorder> WavRecorder::start(const std::string& path, std::uint32_t rate, std::uint16_t channels,
                                                std::uint64_t limitFrames, std::string& whyNot, bool deferPlacement,
                                                Existing existing, RecordFormat format)
{
    whyNot.clear();
    if (path.empty()) {
        whyNot = "no file name";
        return nullptr;
    }
    if ((channels != 1 && channels != 2) || rate == 0 || limitFrames == 0) {
        whyNot = "the input's format cannot be recorded";
        return nullptr;
    }
    if (limitFrames > maxWavFrames(channels, format)) {
        whyNot = "the length limit passes what a WAV file can hold";
        return nullptr;
    }
    // A name that is a link records into the file it points to, as writing
    // in place did: the new file is made beside that file and replaces it,
    // and the link stays the user's. Where nothing may be replaced, a link
    // is a name taken like any other.
    const bool replace = existing == Existing::Replace;
    const std::string target = replace ? linkTarget(path) : path;
    struct stat before {};
    const bool existed = (replace ? ::stat(target.c_str(), &before) : ::lstat(target.c_str(), &before)) == 0;
    if (existed && !replace) {
        whyNot = kExistsReason;
        return nullptr;
    }
    if (existed && !S_ISREG(before.st_mode)) {
        whyNot = "not a file";
        return nullptr;
    }
    // A new file beside the chosen one: the chosen file is replaced only
    // once the recording runs. Until then it is the user's alone; it takes
    // the mode of the file it replaces as it is put in place.
    std::string temp;
    const int fd = createBeside(target, temp, existed ? 0600 : 0666);
    if (fd < 0) {
        whyNot = describe("cannot create the file", errno);
        return nullptr;
    }
    auto shared = std::make_shared<Shared>(rate, channels, limitFrames, format);
    shared->fd = fd;

    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = channels;
    // Plain WAV in every format: PCM (format tag 1) for 16 and 24 bits,
    // IEEE float (tag 3, with its fact chunk, and the PEAK chunk libsndfile
    // keeps of each channel's largest value) for float. One or two
    // channels, each value filling its container, need nothing that
    // WAVE_FORMAT_EXTENSIBLE adds, and readers that know only tag 1 (such
    // as Python's wave module) read the 24-bit file too.
    info.format = SF_FORMAT_WAV | (format == RecordFormat::Pcm24     ? SF_FORMAT_PCM_24
                                   : format == RecordFormat::Float32 ? SF_FORMAT_FLOAT
                                                                     : SF_FORMAT_PCM_16);
    // The descriptor stays ours: closed once, after libsndfile is done with it.
    shared->file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (shared->file == nullptr) {
        whyNot = std::string("cannot write the file: ") + sf_strerror(nullptr);
        ::close(fd);
        ::unlink(temp.c_str());
        return nullptr;
    }
    std::unique_ptr<WavRecorder> recorder(new WavRecorder(shared, target, temp, existing));
    try {
        recorder->writer_ = std::thread([shared] { writerLoop(shared); });
    } catch (const std::system_error& e) {
        sf_close(shared->file);
        ::close(fd);
        ::unlink(temp.c_str());
        recorder->tempPath_.clear();
        whyNot = std::string("cannot start the writer: ") + e.what();
        return nullptr;
    }
    if (!deferPlacement && !recorder->putInPlace(whyNot)) {
        recorder->discard();
        return nullptr;
    }
    return recorder;
}

WavRecorder::WavRecorder(std::shared_ptr<Shared> shared, std::string path, std::string tempPath, Existing existing)
    : shared_(std::move(shared)), path_(std::move(path)), tempPath_(std::move(tempPath)), existing_(existing)
{}

bool WavRecorder::putInPlace(std::string& whyNot)
{
    if (tempPath_.empty())
        return true;
    if (existing_ == Existing::Refuse) {
        // A second name for the new file, made only where none exists, then
        // the first one let go: nothing that appeared meanwhile is replaced.
        if (::link(tempPath_.c_str(), path_.c_str()) != 0) {
            whyNot = errno == EEXIST ? kExistsReason : describe("cannot put the file in place", errno);
            return false;
        }
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
        return true;
    }
    // The file replaced keeps its mode, owner and group; an owner the user
    // may not give away leaves the file the user's, still with the group
    // where the user belongs to it.
    struct stat old {};
    if (::stat(path_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        keepOwner(tempPath_, old);
        if (::chmod(tempPath_.c_str(), old.st_mode & 07777) != 0) {
            whyNot = describe("cannot give the file the mode of the one it replaces", errno);
            return false;
        }
    }
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        whyNot = describe("cannot put the file in place", errno);
        return false;
    }
    tempPath_.clear();
    return true;
}

void WavRecorder::discard()
{
    finish();
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

WavRecorder::~WavRecorder()
{
    // A recording never put in place is nobody's file.
    if (!tempPath_.empty())
        discard();
    else
        finish();
}

std::shared_ptr<RecordingTap> WavRecorder::tap() const { return shared_; }

RecordingStatus WavRecorder::status() const
{
    const Shared& s = *shared_;
    RecordingStatus r;
    r.rate = s.rate;
    r.channels = s.channels;
    r.limitFrames = s.limitFrames;
    r.framesQueued = s.framesQueued.load(std::memory_order_relaxed);
    r.framesWritten = s.framesWritten.load(std::memory_order_relaxed);
    r.framesDropped = s.framesDropped.load(std::memory_order_relaxed);
    r.overruns = s.overruns.load(std::memory_order_relaxed);
    r.breaks = s.breaks.load(std::memory_order_relaxed);
    r.deviceBreaks = s.deviceBreaks.load(std::memory_order_relaxed);
    r.framesLost = s.framesLost.load(std::memory_order_relaxed);
    r.framesSilence = s.framesSilence.load(std::memory_order_relaxed);
    r.silenceCut = s.silenceCut.load(std::memory_order_relaxed);
    r.largestDepth = s.largestDepth.load(std::memory_order_relaxed);
    std::lock_guard lock(s.mutex);
    r.end = s.end;
    r.whyNot = s.whyNot;
    r.where = s.where;
    r.finished = s.finished;
    return r;
}

bool WavRecorder::finish(int waitMs, RecordingEnd why)
{
    if (!writer_.joinable())
        return status().finished;
    Shared& s = *shared_;
    s.endWith(why);
    bool closed = false;
    {
        std::unique_lock lock(s.mutex);
        closed =
            s.finishedCv.wait_for(lock, std::chrono::milliseconds(std::max(waitMs, 0)), [&] { return s.finished; });
    }
    if (closed) {
        writer_.join();
    } else {
        // The disk does not answer. The writer keeps what it shares and
        // closes the file itself if the write ever returns.
        writer_.detach();
    }
    return closed;
}

void WavRecorder::writerLoop(const std::shared_ptr<Shared>& sp)
{
    Shared& s = *sp;
    // Named, so that tools listing a process's threads tell it from capture.
    pthread_setname_np(pthread_self(), "wav writer");
    using Clock = std::chrono::steady_clock;
    auto lastHeader = Clock::now();
    auto lastSync = lastHeader;
    bool writing = true;  // false once the limit is reached or a write failed

    // Writes frames up to the limit; false when writing must stop.
    const auto write = [&](const auto* samples, std::uint64_t frames) {
        const std::uint64_t written = s.framesWritten.load(std::memory_order_relaxed);
        const std::uint64_t room = s.limitFrames - written;
        const sf_count_t want = static_cast<sf_count_t>(std::min<std::uint64_t>(frames, room));
        const sf_count_t done = writeFrames(s.file, samples, want);
        s.framesWritten.store(written + static_cast<std::uint64_t>(std::max<sf_count_t>(done, 0)),
                              std::memory_order_relaxed);
        if (done < want) {
            s.endWith(RecordingEnd::WriteFailed, sf_strerror(s.file));
            return false;
        }
        if (written + static_cast<std::uint64_t>(done) >= s.limitFrames) {
            s.endWith(RecordingEnd::LimitReached);
            return false;
        }
        return true;
    };
    // Writes every chunk queued now; silence for the device's breaks is
    // written a chunk at a time.
    const auto drain = [&] {
        std::visit(
            [&](auto& q) {
                using Value = typename std::remove_cvref_t<decltype(*q)>::Sample;
                while (const auto* c = q->front()) {
                    for (std::uint64_t left = writing ? c->silenceBefore : 0; left > 0 && writing;) {
                        const std::uint64_t n = std::min<std::uint64_t>(left, q->framesPerChunk());
                        writing = write(wav::silenceOf<Value>(), n);
                        left -= n;
                    }
                    if (writing)
                        writing = write(c->samples.data(), c->frames);
                    q->pop();
                }
            },
            s.queue);
    };

    for (;;) {
        // Looked at before the queue is emptied: everything queued before
        // the end was asked for is written.
        const bool ending = s.ending();
        drain();
        if (ending || !writing)
            break;
        const auto now = Clock::now();
        if (now - lastHeader >= std::chrono::milliseconds(kHeaderUpdateMs)) {
            lastHeader = now;
            sf_command(s.file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
            if (!stillLinked(s.fd)) {
                writing = false;
                s.endWith(RecordingEnd::FileVanished, "the file was deleted while recording");
                break;
            }
            // What reached the disk survives a power cut: the data and the
            // header just brought up to date.
            if (now - lastSync >= std::chrono::milliseconds(kSyncMs)) {
                lastSync = now;
                ::fdatasync(s.fd);
            }
        }
        std::unique_lock lock(s.mutex);
        s.wake.wait_for(lock, std::chrono::milliseconds(kWriterPollMs), [&] { return s.end != RecordingEnd::None; });
    }
    drain();  // what a failed or limited recording still finds is let go

    // A failed write may have left part of a frame: cut the file back to the
    // whole frames counted, so the header describes exactly those.
    sf_count_t frames = static_cast<sf_count_t>(s.framesWritten.load(std::memory_order_relaxed));
    const bool failed = [&] {
        std::lock_guard lock(s.mutex);
        return s.end == RecordingEnd::WriteFailed;
    }();
    if (failed)
        sf_command(s.file, SFC_FILE_TRUNCATE, &frames, sizeof frames);
    const int closeError = sf_close(s.file);
    s.file = nullptr;
    const std::string where = currentPath(s.fd);
    const int syncError = ::fsync(s.fd) == 0 ? 0 : errno;
    const int fdError = ::close(s.fd) == 0 ? 0 : errno;
    s.fd = -1;
    {
        std::lock_guard lock(s.mutex);
        if (s.whyNot.empty()) {
            if (closeError != 0)
                s.whyNot = std::string("the file could not be completed: ") + sf_error_number(closeError);
            else if (syncError != 0 && syncError != EINVAL)
                s.whyNot = describe("the file could not be completed", syncError);
            else if (fdError != 0)
                s.whyNot = describe("the file could not be completed", fdError);
            if (!s.whyNot.empty() && s.end == RecordingEnd::Stopped)
                s.end = RecordingEnd::WriteFailed;
        }
        s.where = where;
        s.finished = true;
    }
    s.finishedCv.notify_all();
}

}  // namespace varmolen
