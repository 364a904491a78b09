// Device names. A device's whole name is its description with the lines
// joined; the capability record has room for 31 bytes of it and a NUL, so
// the record holds the name cut there (never inside a UTF-8 character).
#pragma once

#include <string>

namespace varmolen {

constexpr std::size_t kProductNameLength = 31;

// ALSA describes a card's device on two lines ("HDA Intel PCH, ALC892
// Analog" and "Front microphone"): the lines joined with one space, each
// without its surrounding white space, empty lines left out.
inline std::string joinDescriptionLines(const std::string& description)
{
    std::string out;
    std::size_t at = 0;
    while (at <= description.size()) {
        std::size_t end = description.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = description.size();
        std::size_t first = description.find_first_not_of(" \t", at);
        if (first != std::string::npos && first < end) {
            std::size_t last = description.find_last_not_of(" \t", end - 1);
            if (!out.empty())
                out += ' ';
            out.append(description, first, last - first + 1);
        }
        at = end + 1;
    }
    return out;
}

inline std::string cutProductName(const std::string& name)
{
    if (name.size() <= kProductNameLength)
        return name;
    std::size_t cut = kProductNameLength;
    // Back to the start of the character the cut falls in: continuation
    // bytes are 10xxxxxx.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut);
}

}  // namespace varmolen
