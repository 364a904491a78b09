#include "persist/WavRecorder.h"

#include <fcntl.h>
#include <pthread.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>

#include "audio/RecordingQueue.h"

namespace varmolen {

// What the capture thread, the writer thread and the user-interface side of
// one recording share. The writer thread holds it too, so a writer that
// outlives finish() never touches freed memory.
struct WavRecorder::Shared final : RecordingTap {
    Shared(std::uint32_t r, std::uint16_t ch, std::uint64_t limit) : queue(ch), rate(r), channels(ch), limitFrames(limit)
    {
    }

    // ---- the capture thread's side: never waits
    void deliver(const std::int16_t* frames, std::size_t frameCount, bool afterStart) override
    {
        if (frameCount == 0 || !accepting.load(std::memory_order_acquire))
            return;
        if (afterStart && framesQueued.load(std::memory_order_relaxed) > 0)
            breaks.fetch_add(1, std::memory_order_relaxed);
        if (!queue.push(frames, frameCount, afterStart)) {
            overruns.fetch_add(1, std::memory_order_relaxed);
            framesDropped.fetch_add(frameCount, std::memory_order_relaxed);
            return;
        }
        framesQueued.fetch_add(frameCount, std::memory_order_relaxed);
        const std::size_t depth = queue.depth();
        if (depth > largestDepth.load(std::memory_order_relaxed))
            largestDepth.store(depth, std::memory_order_relaxed);
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

    RecordingQueue queue;
    const std::uint32_t rate;
    const std::uint16_t channels;
    const std::uint64_t limitFrames;
    std::atomic<bool> accepting{true};
    std::atomic<std::uint64_t> framesQueued{0};
    std::atomic<std::uint64_t> framesWritten{0};
    std::atomic<std::uint64_t> framesDropped{0};
    std::atomic<std::uint32_t> overruns{0};
    std::atomic<std::uint32_t> breaks{0};
    std::atomic<std::size_t> largestDepth{0};

    mutable std::mutex mutex;
    std::condition_variable wake;      // the end was asked for
    std::condition_variable finishedCv;
    RecordingEnd end = RecordingEnd::None;
    std::string whyNot;
    bool finished = false;

    // The writer's own.
    int fd = -1;
    SNDFILE* file = nullptr;
    std::string path;
    struct stat identity {};
};

namespace {

std::string describe(const std::string& what, int error)
{
    return what + ": " + std::generic_category().message(error);
}

// The file the recording writes to is still the one at its path.
bool stillInPlace(int fd, const std::string& path, const struct stat& identity)
{
    struct stat now {};
    if (::fstat(fd, &now) != 0 || now.st_nlink == 0)
        return false;
    struct stat atPath {};
    if (::stat(path.c_str(), &atPath) != 0)
        return false;
    return atPath.st_dev == identity.st_dev && atPath.st_ino == identity.st_ino;
}

}  // namespace

std::unique_ptr<WavRecorder> WavRecorder::start(const std::string& path, std::uint32_t rate, std::uint16_t channels,
                                                std::uint64_t limitFrames, std::string& whyNot)
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
    struct stat before {};
    const bool existed = ::stat(path.c_str(), &before) == 0;
    if (existed && !S_ISREG(before.st_mode)) {
        whyNot = "not a file";
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        whyNot = describe("cannot create the file", errno);
        return nullptr;
    }
    auto shared = std::make_shared<Shared>(rate, channels, limitFrames);
    shared->fd = fd;
    shared->path = path;
    (void)::fstat(fd, &shared->identity);

    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    // The descriptor stays ours: closed once, after libsndfile is done with it.
    shared->file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (shared->file == nullptr) {
        whyNot = std::string("cannot write the file: ") + sf_strerror(nullptr);
        ::close(fd);
        ::unlink(path.c_str());
        return nullptr;
    }
    std::unique_ptr<WavRecorder> recorder(new WavRecorder(shared, path));
    try {
        recorder->writer_ = std::thread([shared] { writerLoop(shared); });
    } catch (const std::system_error& e) {
        sf_close(shared->file);
        ::close(fd);
        ::unlink(path.c_str());
        whyNot = std::string("cannot start the writer: ") + e.what();
        return nullptr;
    }
    return recorder;
}

WavRecorder::WavRecorder(std::shared_ptr<Shared> shared, std::string path)
    : shared_(std::move(shared)), path_(std::move(path))
{
}

WavRecorder::~WavRecorder()
{
    finish();
}

std::shared_ptr<RecordingTap> WavRecorder::tap() const
{
    return shared_;
}

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
    r.largestDepth = s.largestDepth.load(std::memory_order_relaxed);
    std::lock_guard lock(s.mutex);
    r.end = s.end;
    r.whyNot = s.whyNot;
    r.finished = s.finished;
    return r;
}

bool WavRecorder::finish(int waitMs)
{
    if (!writer_.joinable())
        return status().finished;
    Shared& s = *shared_;
    s.endWith(RecordingEnd::Stopped);
    bool closed = false;
    {
        std::unique_lock lock(s.mutex);
        closed = s.finishedCv.wait_for(lock, std::chrono::milliseconds(std::max(waitMs, 0)), [&] { return s.finished; });
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
    using clock = std::chrono::steady_clock;
    auto lastHeader = clock::now();
    bool writing = true;  // false once the limit is reached or a write failed

    // Writes every chunk queued now; false when writing must stop.
    const auto drain = [&] {
        while (const RecordingQueue::Chunk* c = s.queue.front()) {
            if (!writing) {
                s.queue.pop();
                continue;
            }
            const std::uint64_t written = s.framesWritten.load(std::memory_order_relaxed);
            const std::uint64_t room = s.limitFrames - written;
            const sf_count_t want = static_cast<sf_count_t>(std::min<std::uint64_t>(c->frames, room));
            const sf_count_t done = sf_writef_short(s.file, c->samples.data(), want);
            s.framesWritten.store(written + static_cast<std::uint64_t>(std::max<sf_count_t>(done, 0)),
                                  std::memory_order_relaxed);
            s.queue.pop();
            if (done < want) {
                writing = false;
                s.endWith(RecordingEnd::WriteFailed, sf_strerror(s.file));
            } else if (written + static_cast<std::uint64_t>(done) >= s.limitFrames) {
                writing = false;
                s.endWith(RecordingEnd::LimitReached);
            }
        }
    };

    for (;;) {
        // Looked at before the queue is emptied: everything queued before
        // the end was asked for is written.
        const bool ending = s.ending();
        drain();
        if (ending || !writing)
            break;
        const auto now = clock::now();
        if (now - lastHeader >= std::chrono::milliseconds(kHeaderUpdateMs)) {
            lastHeader = now;
            sf_command(s.file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
            if (!stillInPlace(s.fd, s.path, s.identity)) {
                writing = false;
                s.endWith(RecordingEnd::FileVanished, "the file or its folder was removed while recording");
                break;
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
        s.finished = true;
    }
    s.finishedCv.notify_all();
}

}  // namespace varmolen
