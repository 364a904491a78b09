#include "persist/SpanWav.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "persist/WavRecorder.h"

namespace varmolen {

namespace {

// Frames taken from the record and written at a time.
constexpr std::int64_t kChunkFrames = 65536;

// A growing file in memory, for libsndfile's virtual I/O.
struct MemoryFile {
    std::vector<char>& bytes;
    sf_count_t at = 0;
};

sf_count_t memoryLength(void* user) { return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size()); }

sf_count_t memorySeek(sf_count_t offset, int whence, void* user)
{
    auto* f = static_cast<MemoryFile*>(user);
    const sf_count_t base = whence == SEEK_CUR ? f->at : whence == SEEK_END ? memoryLength(user) : 0;
    f->at = std::max<sf_count_t>(0, base + offset);
    return f->at;
}

sf_count_t memoryRead(void* out, sf_count_t count, void* user)
{
    auto* f = static_cast<MemoryFile*>(user);
    const sf_count_t n = std::clamp<sf_count_t>(memoryLength(user) - f->at, 0, count);
    std::memcpy(out, f->bytes.data() + f->at, static_cast<std::size_t>(n));
    f->at += n;
    return n;
}

sf_count_t memoryWrite(const void* in, sf_count_t count, void* user)
{
    auto* f = static_cast<MemoryFile*>(user);
    const auto end = static_cast<std::size_t>(f->at + count);
    try {
        if (end > f->bytes.size())
            f->bytes.resize(end);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    std::memcpy(f->bytes.data() + f->at, in, static_cast<std::size_t>(count));
    f->at += count;
    return count;
}

sf_count_t memoryTell(void* user) { return static_cast<MemoryFile*>(user)->at; }

std::int16_t toCode(float v)
{
    if (std::isnan(v))
        return 0;
    return static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

}  // namespace

bool composeSpanWav(const RecordSpan& span, std::array<bool, 2> channels, std::vector<char>& bytes, std::string& whyNot)
{
    bytes.clear();
    const int count = (channels[0] ? 1 : 0) + (channels[1] ? 1 : 0);
    if (span.ring == nullptr || span.count <= 0 || count == 0 || span.ring->rate() == 0) {
        whyNot = "there is nothing to write";
        return false;
    }
    const SampleRing& ring = *span.ring;
    if (!ring.holds(span.from, span.from + span.count)) {
        whyNot = "the record no longer holds the span";
        return false;
    }
    if (static_cast<std::uint64_t>(span.count) > maxWavFrames(static_cast<std::uint16_t>(count))) {
        whyNot = "the span is longer than a WAV file can hold";
        return false;
    }
    MemoryFile file{bytes};
    try {
        // The data and a header's room, so the file does not grow piece by piece.
        bytes.reserve(static_cast<std::size_t>(span.count) * 2u * static_cast<std::size_t>(count) + 128u);
        SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
        SF_INFO info{};
        info.samplerate = static_cast<int>(ring.rate());
        info.channels = count;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* sf = sf_open_virtual(&io, SFM_WRITE, &info, &file);
        if (sf == nullptr) {
            whyNot = std::string("libsndfile cannot make the file: ") + sf_strerror(nullptr);
            bytes.clear();
            return false;
        }
        const auto chunk = static_cast<std::size_t>(std::min(span.count, kChunkFrames));
        std::vector<float> chan(chunk);
        std::vector<std::int16_t> frames(chunk * static_cast<std::size_t>(count));
        bool written = true;
        for (std::int64_t at = span.from; at < span.from + span.count && written; at += kChunkFrames) {
            const auto n = static_cast<std::size_t>(std::min(kChunkFrames, span.from + span.count - at));
            int lane = 0;
            for (int c = 1; c <= 2; ++c) {
                if (!channels[static_cast<std::size_t>(c - 1)])
                    continue;
                ring.copy(c, at, n, chan.data());
                for (std::size_t i = 0; i < n; ++i)
                    frames[i * static_cast<std::size_t>(count) + static_cast<std::size_t>(lane)] = toCode(chan[i]);
                ++lane;
            }
            written = sf_writef_short(sf, frames.data(), static_cast<sf_count_t>(n)) == static_cast<sf_count_t>(n);
        }
        if (!written)
            whyNot = std::string("libsndfile could not write the samples: ") + sf_strerror(sf);
        const int closed = sf_close(sf);
        if (written && closed != 0) {
            whyNot = std::string("libsndfile could not complete the file: ") + sf_error_number(closed);
            written = false;
        }
        if (!written)
            bytes.clear();
        return written;
    } catch (const std::bad_alloc&) {
        bytes.clear();
        whyNot = "there is not enough memory for the file";
        return false;
    }
}

}  // namespace varmolen
