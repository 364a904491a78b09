// The instrument command language a remote client speaks, without the
// instrument: lines cut from a byte stream, program messages split into
// commands, headers matched against patterns in short or long form, the error
// queue and the formats of the answers (numbers, definite-length blocks).
//
// A header pattern is written as the manual writes it: upper case marks the
// short form ("CHANnel" answers to CHAN and CHANNEL in any case), "#" after a
// node allows a numeric suffix (CHANnel# answers to CHAN1, CHANNEL2; without
// one it is 1), a node in brackets may be left out ("SYSTem:ERRor[:NEXT]?"),
// and a trailing "?" makes the pattern a query's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varmolen::scpi {

// Standard error and event numbers.
namespace code {
inline constexpr int kNoError = 0;
inline constexpr int kCommandError = -100;
inline constexpr int kInvalidCharacter = -101;
inline constexpr int kSyntaxError = -102;
inline constexpr int kParameterNotAllowed = -108;
inline constexpr int kMissingParameter = -109;
inline constexpr int kUndefinedHeader = -113;
inline constexpr int kSuffixOutOfRange = -114;
inline constexpr int kInvalidSuffix = -131;
inline constexpr int kSuffixNotAllowed = -138;
inline constexpr int kExecutionError = -200;
inline constexpr int kSettingsConflict = -221;
inline constexpr int kDataOutOfRange = -222;
inline constexpr int kTooMuchData = -223;
inline constexpr int kIllegalParameterValue = -224;
inline constexpr int kDataStale = -230;
inline constexpr int kHardwareError = -240;
inline constexpr int kMassStorageError = -250;
inline constexpr int kFileNameNotFound = -256;
inline constexpr int kFileNameError = -257;
inline constexpr int kQueueOverflow = -350;
inline constexpr int kQueryInterrupted = -410;
}  // namespace code

// The blanks between a program message's parts: spaces and tabs.
bool isSpace(char c);
// The text without the blanks around it.
std::string_view trimmed(std::string_view text);

// The standard text of an error number ("Undefined header").
const char* errorText(int number);

// The "not a number" an answer gives where no value can be formed.
inline constexpr const char* kNotANumber = "9.91E37";

// A line of at most this many bytes; a longer one is refused whole.
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;
// A line of more commands, or with a header of more nodes (the path it
// continues included), is refused whole with -223, so the cost of a line stays
// small whatever a client sends.
inline constexpr std::size_t kMaxCommandsPerLine = 64;
inline constexpr std::size_t kMaxHeaderNodes = 12;
// The answers of one line, with their separators and newline, at most as
// many bytes as the server holds unsent for a client.
inline constexpr std::size_t kMaxAnswerBytes = 16 * 1024 * 1024;
// Longest mnemonic the language allows; a longer one names no command.
inline constexpr std::size_t kMaxMnemonicLetters = 12;

// Cuts a byte stream into lines ended by a newline (a carriage return before
// it is dropped). A line longer than kMaxLineBytes is given as refused once
// its newline comes; what the client sends after it is read as usual.
class LineFramer {
public:
    // Called for each line; `refused` is true for an overlong one, whose text
    // is then empty.
    using LineSink = std::function<void(std::string_view line, bool refused)>;
    void feed(std::string_view bytes, const LineSink& sink);
    // Bytes held of a line not yet ended.
    std::size_t pending() const { return partial_.size(); }

private:
    std::string partial_;
    bool overlong_ = false;
};

// A line a web client sends, not a remote client: an HTTP request line
// ("GET /path HTTP/1.1", the method words as sent) or a header field
// ("Host: x": a name of letters, digits and dashes, a colon, then a blank or
// nothing). No command matches: a header's colons are always followed by a
// letter, a star or another colon.
bool looksLikeHttp(std::string_view line);

// The longest text of an error queue entry, between its quotes (its quotes
// doubled and unprintable bytes replaced), so no client can make one entry
// hold what it sent.
inline constexpr std::size_t kMaxErrorTextBytes = 255;

// The error and event queue: the oldest first; when full, the newest entry
// becomes -350 "Queue overflow" and later errors are lost until one is read.
class ErrorQueue {
public:
    static constexpr std::size_t kCapacity = 16;
    // `detail` is added after the standard text: -113,"Undefined header;FOO",
    // cut where the text would pass kMaxErrorTextBytes.
    void push(int number, std::string_view detail = {});
    // The oldest entry as an answer: -113,"Undefined header;FOO", or
    // 0,"No error".
    std::string pop();
    void clear() { entries_.clear(); }
    std::size_t size() const { return entries_.size(); }

private:
    std::deque<std::pair<int, std::string>> entries_;
};

// One node of a header: the mnemonic as written (upper case) and its numeric
// suffix (0 when none was written; `hasSuffix` tells a written 0 from none).
// Any run of letters, digits and underscores that starts with a letter is a
// node: its trailing digits are the suffix. Whether it names anything is the
// command table's business, so a misspelt header is undefined (-113), not a
// syntax error.
struct HeaderNode {
    std::string mnemonic;
    std::int32_t suffix = 0;
    bool hasSuffix = false;
};

// One command of a program message.
struct ParsedCommand {
    bool common = false;  // *IDN? and the like
    bool query = false;
    std::vector<HeaderNode> nodes;
    std::vector<std::string> parameters;  // as written, outside space trimmed
};

// The commands of one line, split at semicolons outside strings. Each holds
// its header's nodes as written; one that does not start with a colon (nor
// with "*") is `relative`: it continues the path of the command before it
// (MEAS:FREQ? CH1;RMS? CH1), as the standard has it, which the session
// follows. Fails with the error to report: a syntax error ends the list
// (the commands before it run, none after it), while an invalid character, an
// unclosed string, more than kMaxCommandsPerLine commands or a header written
// deeper than kMaxHeaderNodes make the list that one failure, so nothing of
// the line runs. The commands are counted before any is built, and each is
// read once.
struct ParseOutcome {
    ParsedCommand command;
    bool relative = false;
    int error = code::kNoError;
    std::string detail;
};
std::vector<ParseOutcome> parseLine(std::string_view line);

// A compiled header pattern.
class HeaderPattern {
public:
    explicit HeaderPattern(std::string_view text);
    // The command's header matches; `suffixes` receives one suffix for each
    // node marked "#" (1 where none was written).
    bool matches(const ParsedCommand& command, std::vector<std::int32_t>& suffixes) const;
    // The same for a header given as its nodes.
    bool matches(std::span<const HeaderNode> nodes, bool query, bool common, std::vector<std::int32_t>& suffixes) const;
    bool query() const { return query_; }
    bool common() const { return common_; }

private:
    struct Node {
        std::string shortForm;
        std::string longForm;
        bool optional = false;
        bool suffix = false;
    };
    bool matchFrom(std::span<const HeaderNode> nodes, std::size_t n, std::size_t p,
                   std::vector<std::int32_t>& suffixes) const;
    std::vector<Node> nodes_;
    bool query_ = false;
    bool common_ = false;
};

// A mnemonic parameter matches a choice written like a pattern node
// ("CHANnel#", "POSitive"); its suffix (1 when none) goes to `suffix`.
bool matchesChoice(std::string_view parameter, std::string_view choice, std::int32_t* suffix = nullptr);

// What a number is measured in, so a parameter may carry its unit.
enum class Unit { None, Hertz, Second, Decibel, Volt, Percent };

// A decimal number (with sign, point and exponent) and, with or without a
// space before it, a suffix in `unit`, scaled to the unit itself: "1kHz" is
// 1000, "10ms" 0.01, "-3dB" -3. The suffixes, in any case: HZ with the
// prefixes P, N, U, K, MA and G, where MHZ is megahertz as the language has it
// but a lower-case m before Hz ("500 mHz") is millihertz, as scripts write it;
// S, MS, US, NS; DB and DBFS; V, MV, UV; PCT. Nothing when the text is not
// such a number, with the error in `*error`: -131 for a suffix the unit does
// not know, -138 for any suffix where the unit is None, -224 otherwise.
std::optional<double> parseNumber(std::string_view text, Unit unit, int* error = nullptr);
// A plain number, without a unit.
std::optional<double> parseNumber(std::string_view text);
// A boolean: ON, OFF, 1 or 0 (any number: non-zero is on).
std::optional<bool> parseBoolean(std::string_view text);
// A string in single or double quotes, doubled quotes inside read as one.
std::optional<std::string> parseString(std::string_view text);

// A number as an answer: up to ten significant digits, "9.91E37" for one
// that is not finite.
std::string formatNumber(double value);
// A definite-length block: #, the digit count, the length, then the bytes.
std::string formatBlock(std::string_view bytes);

}  // namespace varmolen::scpi
