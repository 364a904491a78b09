// The values a command's parameters carry and the answers' formats: numbers,
// booleans, strings and definite-length blocks.
#include "remote/ScpiParser.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace varmolen::scpi {

namespace {

// A unit's suffixes in upper case, as the language compares them, with the
// power of ten each scales by.
struct Suffix {
    Unit unit;
    std::string_view text;
    int exponent;
};
constexpr Suffix kSuffixes[] = {
    {Unit::Hertz, "HZ", 0},   {Unit::Hertz, "PHZ", -12},  {Unit::Hertz, "NHZ", -9}, {Unit::Hertz, "UHZ", -6},
    {Unit::Hertz, "MHZ", 6},  {Unit::Hertz, "KHZ", 3},    {Unit::Hertz, "MAHZ", 6}, {Unit::Hertz, "GHZ", 9},
    {Unit::Second, "S", 0},   {Unit::Second, "MS", -3},   {Unit::Second, "US", -6}, {Unit::Second, "NS", -9},
    {Unit::Decibel, "DB", 0}, {Unit::Decibel, "DBFS", 0}, {Unit::Volt, "V", 0},     {Unit::Volt, "MV", -3},
    {Unit::Volt, "UV", -6},   {Unit::Percent, "PCT", 0},
};

std::optional<int> suffixExponent(std::string_view suffix, Unit unit)
{
    if (suffix.size() > 4)
        return std::nullopt;  // longer than any
    std::string upper(suffix);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (unit == Unit::Hertz && suffix.front() == 'm' && upper == "MHZ")
        return -3;  // "mHz": scripts mean millihertz
    for (const Suffix& known : kSuffixes)
        if (known.unit == unit && known.text == upper)
            return known.exponent;
    return std::nullopt;
}

}  // namespace

std::optional<double> parseNumber(std::string_view text, Unit unit, int* error)
{
    const auto refuse = [error](int number) -> std::optional<double> {
        if (error != nullptr)
            *error = number;
        return std::nullopt;
    };
    text = trimmed(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    double value = 0.0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (failure != std::errc() || !std::isfinite(value))
        return refuse(code::kIllegalParameterValue);
    const std::string_view suffix = trimmed(text.substr(static_cast<std::size_t>(end - text.data())));
    if (suffix.empty())
        return value;
    if (!std::all_of(suffix.begin(), suffix.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
        return refuse(code::kIllegalParameterValue);
    if (unit == Unit::None)
        return refuse(code::kSuffixNotAllowed);
    const std::optional<int> exponent = suffixExponent(suffix, unit);
    if (!exponent)
        return refuse(code::kInvalidSuffix);
    // Whole powers of ten divide or multiply exactly: "500 mHz" is 0.5.
    const double scale = std::pow(10.0, std::abs(*exponent));
    return *exponent < 0 ? value / scale : value * scale;
}

std::optional<double> parseNumber(std::string_view text) { return parseNumber(text, Unit::None); }

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
