#include "persist/SweepFile.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>

#include "persist/ConfigFile.h"

namespace varmolen {

namespace {

constexpr std::string_view kTitle = "# Varmolen frequency response";
constexpr std::string_view kColumns = "Frequency (Hz),Magnitude (dB),Phase (deg)";
constexpr std::string_view kNameKey = "name";
// The sane ranges of a row's numbers.
constexpr double kMaxHz = 1e6;
constexpr double kMaxMagnitudeDb = 1000.0;
constexpr double kMaxPhaseDeg = 1e7;
// The WAV file's rates.
constexpr double kMaxWavRate = 768000.0;

std::string lineText(std::size_t line) { return "Line " + std::to_string(line) + ": "; }

bool isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// One line of text: control characters (line breaks among them) become spaces.
std::string oneLine(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (isControl(c))
            c = ' ';
    return out;
}

// A key keeps letters, digits, spaces, '_', '-' and '.'.
std::string keyText(std::string_view key)
{
    std::string out;
    for (const char c : key)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '_' ||
            c == '-' || c == '.')
            out += c;
    return out;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

void appendNumber(std::string& out, double value, std::chars_format format, int precision)
{
    std::array<char, 64> text{};
    const auto r = std::to_chars(text.data(), text.data() + text.size(), value, format, precision);
    out.append(text.data(), r.ptr);
}

// A whole field as a finite number, or nothing.
std::optional<double> number(std::string_view field)
{
    field = trimmed(field);
    double value = 0.0;
    const auto r = std::from_chars(field.data(), field.data() + field.size(), value, std::chars_format::general);
    if (field.empty() || r.ec != std::errc() || r.ptr != field.data() + field.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The fields of a line between separators.
std::vector<std::string_view> fields(std::string_view line, char separator)
{
    std::vector<std::string_view> out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = line.find(separator, from);
        out.push_back(line.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos)
            return out;
        from = at + 1;
    }
}

// Reads one row into `point`, or says what is wrong with it.
bool parseRow(std::string_view line, char separator, ResponsePoint& point, std::string& whyNot)
{
    const std::vector<std::string_view> f = fields(line, separator);
    if (f.size() != 3) {
        whyNot = "a row needs 3 fields (frequency, magnitude, phase), this one has " + std::to_string(f.size()) + ".";
        return false;
    }
    const std::optional<double> hz = number(f[0]);
    const std::optional<double> db = number(f[1]);
    const std::optional<double> deg = number(f[2]);
    if (!hz || !db || !deg) {
        whyNot = std::string(!hz   ? "the frequency"
                             : !db ? "the magnitude"
                                   : "the phase") +
                 " is not a finite number written with '.' as the decimal point.";
        return false;
    }
    if (!(*hz > 0.0 && *hz <= kMaxHz)) {
        whyNot = "the frequency must lie above 0 Hz and at most 1 MHz.";
        return false;
    }
    if (std::abs(*db) > kMaxMagnitudeDb) {
        whyNot = "the magnitude must lie within +-1000 dB.";
        return false;
    }
    if (std::abs(*deg) > kMaxPhaseDeg) {
        whyNot = "the phase must lie within +-10000000 degrees.";
        return false;
    }
    point = {*hz, *db, *deg, 0.0};
    return true;
}

void putLe16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v & 0xffu));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xffu));
}

void putLe32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    putLe16(out, v & 0xffffu);
    putLe16(out, v >> 16);
}

void putTag(std::vector<std::uint8_t>& out, const char (&tag)[5]) { out.insert(out.end(), tag, tag + 4); }

}  // namespace

std::string composeSweepFile(const SavedResponse& r)
{
    std::string out;
    out.reserve(128 + 40 * r.points.size());
    out.append(kTitle).append("\n");
    out.append("# ").append(kNameKey).append(": ").append(oneLine(r.name)).append("\n");
    for (const auto& [key, value] : r.metadata) {
        const std::string k = keyText(key);
        if (trimmed(k).empty() || equalsIgnoringCase(trimmed(k), kNameKey))
            continue;
        out.append("# ").append(trimmed(k)).append(": ").append(oneLine(value)).append("\n");
    }
    out.append(kColumns).append("\n");
    double lastHz = 0.0;
    for (const ResponsePoint& p : r.points) {
        // Only rows a reader takes back.
        if (!(p.hz > lastHz && p.hz <= kMaxHz) || !(std::abs(p.magnitudeDb) <= kMaxMagnitudeDb) ||
            !(std::abs(p.phaseDeg) <= kMaxPhaseDeg))
            continue;
        lastHz = p.hz;
        appendNumber(out, p.hz, std::chars_format::general, 10);
        out += ',';
        appendNumber(out, p.magnitudeDb, std::chars_format::fixed, 4);
        out += ',';
        appendNumber(out, p.phaseDeg, std::chars_format::fixed, 3);
        out += '\n';
    }
    return out;
}

bool parseSweepFile(std::string_view text, SavedResponse& out, std::string& whyNot)
{
    if (text.size() > kSweepFileMaxBytes) {
        whyNot = "The file is larger than " + std::to_string(kSweepFileMaxBytes >> 20) + " MiB.";
        return false;
    }
    SavedResponse read;
    bool haveName = false;
    bool haveColumns = false;
    char separator = ',';
    std::size_t headerLines = 0;
    std::size_t lineNumber = 0;
    const auto fail = [&](std::string why) {
        whyNot = lineText(lineNumber) + std::move(why);
        return false;
    };
    try {
        std::size_t from = 0;
        while (from < text.size()) {
            const std::size_t end = text.find('\n', from);
            std::string_view line =
                text.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from);
            from = end == std::string_view::npos ? text.size() : end + 1;
            ++lineNumber;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            if (line.size() > kSweepFileMaxLineBytes)
                return fail("the line is longer than " + std::to_string(kSweepFileMaxLineBytes) + " bytes.");
            for (const char c : line)
                if (isControl(c) && c != '\t')
                    return fail("the line holds a control character.");
            if (trimmed(line).empty())
                continue;
            if (line.front() == '#') {
                if (haveColumns)
                    return fail("a '#' line may only come before the column names.");
                if (++headerLines > kSweepFileMaxHeaderLines)
                    return fail("more than " + std::to_string(kSweepFileMaxHeaderLines) + " '#' lines.");
                const std::string_view body = line.substr(1);
                const std::size_t colon = body.find(':');
                if (colon == std::string_view::npos || trimmed(body.substr(0, colon)).empty())
                    continue;  // a comment
                const std::string_view key = trimmed(body.substr(0, colon));
                const std::string_view value = trimmed(body.substr(colon + 1));
                if (equalsIgnoringCase(key, kNameKey)) {
                    if (!haveName)
                        read.name = std::string(value);
                    haveName = true;
                } else {
                    read.metadata.emplace_back(std::string(key), std::string(value));
                }
                continue;
            }
            if (!haveColumns) {
                // The line naming the columns sets the separator.
                separator =
                    line.find(',') == std::string_view::npos && line.find('\t') != std::string_view::npos ? '\t' : ',';
                const std::vector<std::string_view> names = fields(line, separator);
                if (names.size() != 3 || number(names[0]))
                    return fail("the line naming the three columns (frequency, magnitude, phase) is missing.");
                haveColumns = true;
                continue;
            }
            if (read.points.size() >= kSweepFileMaxRows)
                return fail("more than " + std::to_string(kSweepFileMaxRows) + " rows.");
            ResponsePoint point;
            std::string why;
            if (!parseRow(line, separator, point, why))
                return fail(why);
            if (!read.points.empty() && !(point.hz > read.points.back().hz))
                return fail("the frequencies must rise from row to row.");
            read.points.push_back(point);
        }
    } catch (const std::bad_alloc&) {
        whyNot = "There is not enough memory to read the file.";
        return false;
    }
    if (read.points.size() < 2) {
        whyNot = "The file holds " + std::to_string(read.points.size()) + (read.points.size() == 1 ? " row" : " rows") +
                 " of a response; it needs at least 2.";
        return false;
    }
    computeGroupDelays(read.points);
    out = std::move(read);
    whyNot.clear();
    return true;
}

bool writeImpulseWav(const std::string& path, std::span<const float> impulse, double rate, std::string& whyNot)
{
    if (impulse.empty()) {
        whyNot = "There is no impulse response to write.";
        return false;
    }
    if (!(rate >= 1.0 && rate <= kMaxWavRate) || std::abs(rate - std::round(rate)) > 1e-6) {
        whyNot = "A WAV file cannot carry that sample rate.";
        return false;
    }
    constexpr std::size_t kHeaderBytes = 58;
    if (impulse.size() > (std::numeric_limits<std::uint32_t>::max() - kHeaderBytes) / 4) {
        whyNot = "The impulse response is longer than a WAV file can hold.";
        return false;
    }
    const auto frames = static_cast<std::uint32_t>(impulse.size());
    const auto hz = static_cast<std::uint32_t>(std::lround(rate));
    std::vector<std::uint8_t> bytes;
    try {
        bytes.reserve(kHeaderBytes + 4u * impulse.size());
        putTag(bytes, "RIFF");
        putLe32(bytes, static_cast<std::uint32_t>(kHeaderBytes - 8 + 4u * impulse.size()));
        putTag(bytes, "WAVE");
        // The format: IEEE float (3), one channel, 32 bits, no extension.
        putTag(bytes, "fmt ");
        putLe32(bytes, 18);
        putLe16(bytes, 3);
        putLe16(bytes, 1);
        putLe32(bytes, hz);
        putLe32(bytes, hz * 4u);
        putLe16(bytes, 4);
        putLe16(bytes, 32);
        putLe16(bytes, 0);
        // A file of floats says how many frames it holds.
        putTag(bytes, "fact");
        putLe32(bytes, 4);
        putLe32(bytes, frames);
        putTag(bytes, "data");
        putLe32(bytes, frames * 4u);
        for (const float v : impulse)
            putLe32(bytes, std::bit_cast<std::uint32_t>(std::isfinite(v) ? v : 0.0f));
    } catch (const std::bad_alloc&) {
        whyNot = "There is not enough memory for the file.";
        return false;
    }
    return writeFileAtomically(path, bytes, whyNot);
}

}  // namespace varmolen
