// Reads a WAV file back twice, for the recording tests: by walking its chunks
// here (so a header that only a lenient reader accepts is caught) and through
// libsndfile, which must agree on the frame count.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace varmolen::test {

struct WavContents {
    std::string problem;  // empty when the file is a valid 16-bit PCM WAV file
    std::uint32_t rate = 0;
    std::uint16_t channels = 0;
    std::vector<std::int16_t> samples;  // interleaved
    std::size_t frames() const { return channels > 0 ? samples.size() / channels : 0; }
};

inline std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
inline std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

inline WavContents readWav(const std::string& path)
{
    WavContents w;
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) {
        w.problem = "no RIFF WAVE header";
        return w;
    }
    if (le32(b, 4) != b.size() - 8) {
        w.problem = "RIFF size " + std::to_string(le32(b, 4)) + " for a file of " + std::to_string(b.size());
        return w;
    }
    bool haveFormat = false;
    std::uint16_t blockAlign = 0;
    std::size_t at = 12;
    while (at + 8 <= b.size()) {
        const std::string id(reinterpret_cast<const char*>(b.data() + at), 4);
        const std::uint32_t size = le32(b, at + 4);
        if (at + 8 + size > b.size()) {
            w.problem = "chunk " + id + " runs past the end";
            return w;
        }
        if (id == "fmt ") {
            if (le16(b, at + 8) != 1 || le16(b, at + 22) != 16) {
                w.problem = "not 16-bit PCM";
                return w;
            }
            w.channels = le16(b, at + 10);
            w.rate = le32(b, at + 12);
            blockAlign = le16(b, at + 20);
            if (blockAlign != w.channels * 2 || le32(b, at + 16) != w.rate * blockAlign) {
                w.problem = "inconsistent format chunk";
                return w;
            }
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat || size % blockAlign != 0) {
                w.problem = "data chunk without format or with part of a frame";
                return w;
            }
            w.samples.resize(size / 2);
            if (size > 0)  // an empty recording has no samples to copy
                std::memcpy(w.samples.data(), b.data() + at + 8, size);
        }
        at += 8 + size + (size & 1);
    }
    if (at != b.size()) {
        w.problem = "stray bytes after the last chunk";
        return w;
    }
    if (!haveFormat) {
        w.problem = "no format chunk";
        return w;
    }
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) {
        w.problem = std::string("libsndfile: ") + sf_strerror(nullptr);
        return w;
    }
    sf_close(f);
    if (static_cast<std::size_t>(info.frames) != w.frames() || info.channels != w.channels)
        w.problem = "libsndfile reads " + std::to_string(info.frames) + " frames, the header says " +
                    std::to_string(w.frames());
    return w;
}

}  // namespace varmolen::test
