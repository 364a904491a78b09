#include "remote/ScpiParser.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace varmolen::scpi {

namespace {

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string upperCase(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = upper(c);
    return out;
}

// Splits at `separator` outside quoted strings; nothing when a quote is left open.
std::optional<std::vector<std::string_view>> splitOutsideQuotes(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == quote)
                quote = 0;  // a doubled quote closes and opens again
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == separator) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (quote != 0)
        return std::nullopt;
    parts.push_back(text.substr(start));
    return parts;
}

bool isLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A letter, then letters, digits and underscores; the trailing digits are the
// suffix (a suffix too large for a number is kept as the largest one, which no
// node allows). Anything else, or nothing, is no node.
bool parseNode(std::string_view text, HeaderNode& node)
{
    if (text.empty() || !isLetter(text.front()))
        return false;
    for (char c : text)
        if (!isLetter(c) && !isDigit(c) && c != '_')
            return false;
    std::size_t letters = text.size();
    while (isDigit(text[letters - 1]))
        --letters;
    node.mnemonic = upperCase(text.substr(0, letters));
    node.hasSuffix = letters < text.size();
    node.suffix = 0;
    for (char c : text.substr(letters)) {
        const std::int64_t next = std::int64_t{node.suffix} * 10 + (c - '0');
        node.suffix = static_cast<std::int32_t>(std::min<std::int64_t>(next, INT32_MAX));
    }
    return true;
}

ParseOutcome failed(int error, std::string_view detail)
{
    ParseOutcome out;
    out.error = error;
    out.detail = std::string(detail.substr(0, 40));
    return out;
}

// The error of a header deeper than kMaxHeaderNodes; parseLine refuses the line for it.
constexpr const char* kTooDeep = "header deeper than 12 nodes";

ParseOutcome parseUnit(std::string_view unit)
{
    std::size_t end = 0;
    while (end < unit.size() && !isSpace(unit[end]))
        ++end;
    std::string_view header = unit.substr(0, end);
    const std::string_view rest = trimmed(unit.substr(end));
    ParseOutcome out;
    ParsedCommand& c = out.command;
    if (!header.empty() && header.back() == '?') {
        c.query = true;
        header.remove_suffix(1);
    }
    if (!header.empty() && header.front() == '*') {
        c.common = true;
        HeaderNode node;
        if (!parseNode(header.substr(1), node))
            return failed(code::kSyntaxError, header);
        node.mnemonic.insert(0, 1, '*');
        c.nodes.push_back(std::move(node));
    } else {
        const bool rooted = !header.empty() && header.front() == ':';
        if (rooted)
            header.remove_prefix(1);
        out.relative = !rooted;
        std::size_t from = 0;
        for (;;) {
            if (c.nodes.size() == kMaxHeaderNodes)
                return failed(code::kTooMuchData, kTooDeep);  // read no further than the bound
            const std::size_t colon = header.find(':', from);
            HeaderNode node;
            if (!parseNode(header.substr(from, colon - from), node))
                return failed(code::kSyntaxError, header);
            c.nodes.push_back(std::move(node));
            if (colon == std::string_view::npos)
                break;
            from = colon + 1;
        }
    }
    if (rest.empty())
        return out;
    const std::optional<std::vector<std::string_view>> parameters = splitOutsideQuotes(rest, ',');
    if (!parameters)
        return failed(code::kSyntaxError, rest);
    c.parameters.reserve(parameters->size());
    for (std::string_view p : *parameters) {
        p = trimmed(p);
        if (p.empty())
            return failed(code::kSyntaxError, rest);
        c.parameters.emplace_back(p);
    }
    return out;
}

// What one pass over a line finds before anything is built: the first byte no
// line may hold, how many commands it has (pieces between semicolons outside
// strings that hold more than blanks) and whether a string is left open. It
// stops at the first of a byte no line may hold and a command past
// kMaxCommandsPerLine, so a line of many short commands is refused after
// reading the first few hundred bytes.
struct LineScan {
    std::optional<unsigned char> invalid;
    std::size_t commands = 0;
    bool openString = false;
};

LineScan scanLine(std::string_view line)
{
    LineScan scan;
    char quote = 0;
    bool filled = false;  // the current piece holds more than blanks
    for (char ch : line) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\t') || c >= 0x7f) {
            scan.invalid = c;
            return scan;
        }
        if (quote != 0) {
            if (ch == quote)
                quote = 0;  // a doubled quote closes and opens again
        } else if (ch == '"' || ch == '\'') {
            quote = ch;
        } else if (ch == ';') {
            scan.commands += filled ? 1 : 0;
            filled = false;
            if (scan.commands > kMaxCommandsPerLine)
                return scan;
            continue;
        }
        filled = filled || !isSpace(ch);
    }
    scan.commands += filled ? 1 : 0;
    scan.openString = quote != 0;
    return scan;
}

// The next piece of a line whose strings are all closed, from `at` to the
// next semicolon outside a string; `at` moves past that semicolon.
std::string_view nextPiece(std::string_view line, std::size_t& at)
{
    const std::size_t start = at;
    char quote = 0;
    for (; at < line.size(); ++at) {
        const char c = line[at];
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            return line.substr(start, at++ - start);
        }
    }
    return line.substr(start);
}

}  // namespace

bool isSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

const char* errorText(int number)
{
    switch (number) {
        case code::kNoError:
            return "No error";
        case code::kCommandError:
            return "Command error";
        case code::kInvalidCharacter:
            return "Invalid character";
        case code::kSyntaxError:
            return "Syntax error";
        case code::kParameterNotAllowed:
            return "Parameter not allowed";
        case code::kMissingParameter:
            return "Missing parameter";
        case code::kUndefinedHeader:
            return "Undefined header";
        case code::kSuffixOutOfRange:
            return "Header suffix out of range";
        case code::kInvalidSuffix:
            return "Invalid suffix";
        case code::kSuffixNotAllowed:
            return "Suffix not allowed";
        case code::kExecutionError:
            return "Execution error";
        case code::kSettingsConflict:
            return "Settings conflict";
        case code::kDataOutOfRange:
            return "Data out of range";
        case code::kTooMuchData:
            return "Too much data";
        case code::kIllegalParameterValue:
            return "Illegal parameter value";
        case code::kDataStale:
            return "Data corrupt or stale";
        case code::kHardwareError:
            return "Hardware error";
        case code::kMassStorageError:
            return "Mass storage error";
        case code::kFileNameNotFound:
            return "File name not found";
        case code::kFileNameError:
            return "File name error";
        case code::kQueueOverflow:
            return "Queue overflow";
        case code::kQueryInterrupted:
            return "Query INTERRUPTED";
        default:
            return "Error";
    }
}

void LineFramer::feed(std::string_view bytes, const LineSink& sink)
{
    while (!bytes.empty()) {
        const std::size_t newline = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, newline);
        if (!overlong_) {
            if (partial_.size() + piece.size() > kMaxLineBytes) {
                overlong_ = true;
                partial_.clear();
                partial_.shrink_to_fit();
            } else {
                partial_.append(piece);
            }
        }
        if (newline == std::string_view::npos)
            return;
        bytes.remove_prefix(newline + 1);
        if (overlong_) {
            overlong_ = false;
            sink({}, true);
            continue;
        }
        std::string line;
        line.swap(partial_);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        sink(line, false);
    }
}

bool looksLikeHttp(std::string_view line)
{
    constexpr std::string_view kMethods[] = {"GET",    "POST",    "PUT",   "HEAD", "OPTIONS",
                                             "DELETE", "CONNECT", "PATCH", "TRACE"};
    for (std::string_view method : kMethods) {
        if (!line.starts_with(method) || line.size() <= method.size() || line[method.size()] != ' ')
            continue;
        const std::string_view rest = line.substr(method.size() + 1);
        const std::size_t space = rest.find(' ');
        if (space == 0 || space == std::string_view::npos)
            continue;
        const std::string_view version = rest.substr(space + 1);
        if (version.size() == 8 && version.starts_with("HTTP/1.") && isDigit(version.back()))
            return true;
    }
    if (line.empty() || !isLetter(line.front()))
        return false;
    std::size_t at = 1;
    while (at < line.size() && (isLetter(line[at]) || isDigit(line[at]) || line[at] == '-'))
        ++at;
    if (at == line.size() || line[at] != ':')
        return false;
    return at + 1 == line.size() || isSpace(line[at + 1]);
}

void ErrorQueue::push(int number, std::string_view detail)
{
    if (entries_.size() >= kCapacity) {
        entries_.back() = {code::kQueueOverflow, errorText(code::kQueueOverflow)};
        return;
    }
    std::string text = errorText(number);
    if (!detail.empty()) {
        text += ';';
        // The detail goes inside a quoted string: its quotes are doubled and
        // anything unprintable becomes a question mark. It ends where the
        // next character would not fit whole.
        for (char c : detail) {
            const bool quote = c == '"';
            if (text.size() + (quote ? 2 : 1) > kMaxErrorTextBytes)
                break;
            if (quote)
                text += "\"\"";
            else
                text += (c >= 0x20 && c < 0x7f) ? c : '?';
        }
    }
    entries_.emplace_back(number, std::move(text));
}

std::string ErrorQueue::pop()
{
    if (entries_.empty())
        return "0,\"No error\"";
    const auto [number, text] = std::move(entries_.front());
    entries_.pop_front();
    return std::to_string(number) + ",\"" + text + "\"";
}

std::vector<ParseOutcome> parseLine(std::string_view line)
{
    std::vector<ParseOutcome> out;
    const LineScan scan = scanLine(line);
    if (scan.invalid) {
        out.push_back(failed(code::kInvalidCharacter, "byte " + std::to_string(*scan.invalid)));
        return out;
    }
    if (scan.commands > kMaxCommandsPerLine) {
        out.push_back(failed(code::kTooMuchData, "more than 64 commands"));
        return out;
    }
    if (scan.openString) {
        out.push_back(failed(code::kSyntaxError, "string not closed"));
        return out;
    }
    out.reserve(scan.commands);
    std::size_t at = 0;
    while (at < line.size()) {
        const std::string_view piece = trimmed(nextPiece(line, at));
        if (piece.empty())
            continue;
        ParseOutcome parsed = parseUnit(piece);
        if (parsed.error == code::kTooMuchData) {
            out.clear();
            out.push_back(std::move(parsed));
            return out;
        }
        const bool stop = parsed.error != code::kNoError;
        out.push_back(std::move(parsed));
        if (stop)
            break;  // the rest of a line after a syntax error is not run
    }
    return out;
}

HeaderPattern::HeaderPattern(std::string_view text)
{
    if (!text.empty() && text.back() == '?') {
        query_ = true;
        text.remove_suffix(1);
    }
    common_ = !text.empty() && text.front() == '*';
    std::string_view rest = text;
    while (!rest.empty()) {
        Node node;
        if (rest.front() == '[') {
            node.optional = true;
            rest.remove_prefix(1);
        }
        if (!rest.empty() && rest.front() == ':')
            rest.remove_prefix(1);
        std::size_t end = 0;
        while (end < rest.size() && rest[end] != ':' && rest[end] != '[' && rest[end] != ']')
            ++end;
        std::string_view word = rest.substr(0, end);
        rest.remove_prefix(end);
        if (!rest.empty() && rest.front() == ']')
            rest.remove_prefix(1);
        if (!word.empty() && word.back() == '#') {
            node.suffix = true;
            word.remove_suffix(1);
        }
        for (char c : word)
            if (c == '*' || std::isupper(static_cast<unsigned char>(c)) != 0)
                node.shortForm += c;
        node.longForm = upperCase(word);
        if (!node.longForm.empty())
            nodes_.push_back(std::move(node));
    }
}

bool HeaderPattern::matches(const ParsedCommand& command, std::vector<std::int32_t>& suffixes) const
{
    return matches(command.nodes, command.query, command.common, suffixes);
}

bool HeaderPattern::matches(std::span<const HeaderNode> nodes, bool query, bool common,
                            std::vector<std::int32_t>& suffixes) const
{
    if (query != query_ || common != common_)
        return false;
    suffixes.clear();
    return matchFrom(nodes, 0, 0, suffixes);
}

bool HeaderPattern::matchFrom(std::span<const HeaderNode> nodes, std::size_t n, std::size_t p,
                              std::vector<std::int32_t>& suffixes) const
{
    if (p == nodes_.size())
        return n == nodes.size();
    const Node& want = nodes_[p];
    const std::size_t held = suffixes.size();
    if (n < nodes.size()) {
        const HeaderNode& got = nodes[n];
        const bool named = got.mnemonic == want.shortForm || got.mnemonic == want.longForm;
        if (named && (want.suffix || !got.hasSuffix)) {
            if (want.suffix)
                suffixes.push_back(got.hasSuffix ? got.suffix : 1);
            if (matchFrom(nodes, n + 1, p + 1, suffixes))
                return true;
            suffixes.resize(held);
        }
    }
    if (!want.optional)
        return false;
    if (want.suffix)
        suffixes.push_back(1);
    if (matchFrom(nodes, n, p + 1, suffixes))
        return true;
    suffixes.resize(held);
    return false;
}

bool matchesChoice(std::string_view parameter, std::string_view choice, std::int32_t* suffix)
{
    ParsedCommand one;
    HeaderNode node;
    if (!parseNode(parameter, node))
        return false;
    one.nodes.push_back(std::move(node));
    std::vector<std::int32_t> suffixes;
    if (!HeaderPattern(choice).matches(one, suffixes))
        return false;
    if (suffix != nullptr)
        *suffix = suffixes.empty() ? 1 : suffixes.front();
    return true;
}

}  // namespace varmolen::scpi
