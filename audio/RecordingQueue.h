// The bounded queue between the capture thread (the only producer) and the
// WAV writer thread (the only consumer): a ring of fixed chunks allocated
// once when a recording starts. Neither side ever waits on the other: a push
// into a full ring fails at once (the caller counts the overrun), and an
// empty ring simply has no front.
//
// A chunk holds values of the file's own kind: 16-bit codes for a 16-bit
// file (RecordingQueue, copied as delivered), 32-bit integers full scale at
// +-2^31 for a 24-bit file, floats full scale at +-1.0 for a float file. A
// recording finer than 16 bits thus costs twice the memory of its ring, and
// the 16-bit path stays a plain copy into 16-bit chunks.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace varmolen {

template <class Value>
class SampleQueue {
public:
    using Sample = Value;

    // A chunk holds what the capture thread reads at once: a fiftieth of a
    // second, at most 882 stereo frames (kMaxChunkFrames).
    static constexpr std::size_t kChunkSamples = 1764;
    // 256 chunks: about five seconds at 50 chunks a second, time enough for
    // a disk that stalls now and then.
    static constexpr std::size_t kChunks = 256;
    // Seconds of sound the ring of a recording holds at least, at any rate.
    static constexpr std::size_t kHeldSeconds = 5;

    // Chunks for kHeldSeconds at the rate: kChunks up to 44100 Hz, more above
    // (a read then brings full chunks more often than 50 times a second).
    static std::size_t chunksFor(std::uint32_t rate)
    {
        return std::max(kChunks, (kHeldSeconds * rate + kChunkSamples / 2 - 1) / (kChunkSamples / 2));
    }

    struct Chunk {
        std::uint32_t frames = 0;
        bool afterStart = false;
        // Frames of silence that stand before this chunk in the file: the
        // sound the device lost just before it (0 when none).
        std::uint32_t silenceBefore = 0;
        std::array<Value, kChunkSamples> samples{};
    };

    explicit SampleQueue(unsigned channels, std::size_t chunks = kChunks)
        : channels_(std::clamp(channels, 1u, 2u)),
          chunks_(std::max<std::size_t>(chunks, 1)),
          ring_(std::make_unique<Chunk[]>(chunks_))
    {}

    std::size_t capacity() const { return chunks_; }

    unsigned channels() const { return channels_; }
    std::size_t framesPerChunk() const { return kChunkSamples / channels_; }

    // Producer. Copies `frameCount` frames (split over several chunks when
    // they do not fit one); the first chunk carries `afterStart` and
    // `silenceBefore`. False, with nothing queued, when the ring has no room
    // for all of them.
    bool push(const Value* frames, std::size_t frameCount, bool afterStart, std::uint32_t silenceBefore = 0)
    {
        return pushWith(frameCount, afterStart, silenceBefore, [&](Value* out, std::size_t from, std::size_t n) {
            std::memcpy(out, frames + from * channels_, n * channels_ * sizeof(Value));
        });
    }
    // Producer. The same, with the values written into the chunks by
    // `fill(out, from, n)`: frames from..from+n-1 of the push, interleaved,
    // in the queue's own kind (a conversion on the way, with no buffer
    // between).
    template <class Fill>
    bool pushWith(std::size_t frameCount, bool afterStart, std::uint32_t silenceBefore, Fill&& fill)
    {
        const std::size_t perChunk = framesPerChunk();
        const std::size_t needed = (frameCount + perChunk - 1) / perChunk;
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        const std::size_t head = head_.load(std::memory_order_acquire);
        if (needed > chunks_ - (tail - head))
            return false;
        std::size_t t = tail;
        for (std::size_t from = 0; from < frameCount;) {
            Chunk& c = ring_[t % chunks_];
            const std::size_t n = std::min(frameCount - from, perChunk);
            fill(c.samples.data(), from, n);
            c.frames = static_cast<std::uint32_t>(n);
            c.afterStart = afterStart;
            c.silenceBefore = silenceBefore;
            afterStart = false;
            silenceBefore = 0;
            from += n;
            ++t;
        }
        tail_.store(t, std::memory_order_release);
        return true;
    }

    // Consumer: the oldest chunk, or nullptr when the ring is empty. It stays
    // valid until pop().
    const Chunk* front() const
    {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire))
            return nullptr;
        return &ring_[head % chunks_];
    }
    void pop() { head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

    // Chunks waiting; exact on either side, an estimate elsewhere.
    std::size_t depth() const { return tail_.load(std::memory_order_acquire) - head_.load(std::memory_order_acquire); }

private:
    const unsigned channels_;
    const std::size_t chunks_;
    std::unique_ptr<Chunk[]> ring_;
    // Counters that only grow (a 64-bit count never wraps in practice);
    // each on its own cache line, written by one side only.
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};

// The queue of a 16-bit recording.
using RecordingQueue = SampleQueue<std::int16_t>;

}  // namespace varmolen
