// The values a command's parameters carry and the answers' formats: numbers,
// booleans, strings and definite-length blocks.
#include "remote/ScpiParser.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace varmolen::scpi {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<double> parseNumber(std::string_view text)
{
    text = trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<bool> parseBoolean(std::string_view text)
{
    if (matchesChoice(text, "ON"))
        return true;
    if (matchesChoice(text, "OFF"))
        return false;
    if (const std::optional<double> number = parseNumber(text))
        return std::lround(*number) != 0;
    return std::nullopt;
}

std::optional<std::string> parseString(std::string_view text)
{
    text = trimmed(text);
    if (text.size() < 2 || (text.front() != '"' && text.front() != '\'') || text.back() != text.front())
        return std::nullopt;
    const char quote = text.front();
    std::string out;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] == quote) {
            if (i + 2 >= text.size() || text[i + 1] != quote)
                return std::nullopt;
            ++i;
        }
        out += text[i];
    }
    return out;
}

std::string formatNumber(double value)
{
    if (!std::isfinite(value))
        return kNotANumber;
    char text[32];
    std::snprintf(text, sizeof text, "%.10G", value);
    return text;
}

std::string formatBlock(std::string_view bytes)
{
    const std::string length = std::to_string(bytes.size());
    std::string out;
    out.reserve(2 + length.size() + bytes.size());
    out += '#';
    out += static_cast<char>('0' + length.size());
    out += length;
    out.append(bytes);
    return out;
}

}  // namespace varmolen::scpi
