// One client's conversation: each line it sends is parsed, each command run
// through the row of a command table whose pattern matches it, and the
// answers of the line's queries go back as one line, separated by
// semicolons. The session keeps the client's own error queue, event status
// register and enable registers, and answers the common commands that concern
// only them (*CLS, *ESR?, *ESE, *SRE, *STB?, *OPC, *OPC?, *WAI, *TST?, *OPT?),
// SYSTem:ERRor[:NEXT]?, SYSTem:ERRor:COUNt? and SYSTem:VERSion?; everything
// else the instrument's table answers.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "remote/ScpiParser.h"

namespace varmolen::scpi {

// A numeric setting's range, its default (DEFault), if it has one, and the
// unit its parameter may carry.
struct NumberRange {
    double minimum = 0;
    double maximum = 0;
    std::optional<double> byDefault;
    Unit unit = Unit::None;
};

// What a command's row is handed: its parameters, the numeric suffixes of
// its header, and where its answer and its errors go. The parameter readers
// report a missing or bad parameter themselves and then return nothing.
class Call {
public:
    Call(const ParsedCommand& command, std::vector<std::int32_t> suffixes, ErrorQueue& errors);

    // The header's numeric suffixes, in the pattern's order (1 where none was written).
    std::int32_t suffix(std::size_t index = 0) const;
    // The suffix when it lies within [1, last]; otherwise the error is reported.
    std::optional<std::int32_t> suffixUpTo(std::int32_t last, std::size_t index = 0);
    std::size_t parameterCount() const { return command_.parameters.size(); }
    const std::string& parameter(std::size_t index) const { return command_.parameters.at(index); }

    // A number within the setting's range, with a suffix in its unit; MINimum and
    // MAXimum name the ends, DEFault the default (-224 where there is none).
    std::optional<double> number(std::size_t index, const NumberRange& range);
    // The same for a plain number within [minimum, maximum], without a default.
    std::optional<double> number(std::size_t index, double minimum, double maximum);
    std::optional<bool> boolean(std::size_t index);
    // The index of the choice the parameter names ({"TIME", "FREQuency"}).
    std::optional<std::size_t> choice(std::size_t index, std::initializer_list<const char*> choices);
    std::optional<std::size_t> choice(std::size_t index, std::span<const char* const> choices);
    // A channel, CH1 or CHANnel2 (1 when the parameter is left out).
    std::optional<std::int32_t> channel(std::size_t index);
    std::optional<std::string> string(std::size_t index);

    // The answer of a query; several calls join with commas.
    void reply(std::string_view text);
    void replyNumber(double value) { reply(formatNumber(value)); }
    void replyBlock(std::string_view bytes) { reply(formatBlock(bytes)); }
    // Reports an error: the command did not do what it was asked.
    void fail(int number, std::string_view detail = {});

    // The command cannot run yet (it waits for fresh readings): the session
    // stops the line here and runs this command again when resumed.
    void wait() { waiting_ = true; }
    bool waiting() const { return waiting_; }

    bool failed() const { return failed_; }
    int errorNumber() const { return errorNumber_; }  // of the last error reported
    const std::string& answer() const { return answer_; }

private:
    bool present(std::size_t index);

    const ParsedCommand& command_;
    std::vector<std::int32_t> suffixes_;
    ErrorQueue& errors_;
    std::string answer_;
    bool answered_ = false;
    bool failed_ = false;
    bool waiting_ = false;
    int errorNumber_ = code::kNoError;
};

// A row: the header pattern, how many parameters the command takes at most,
// and what it does.
struct CommandRow {
    std::string pattern;
    std::size_t maxParameters = 0;
    std::function<void(Call&)> run;
};

// The rows a session looks commands up in; later rows extend it.
class CommandTable {
public:
    void add(std::string_view pattern, std::size_t maxParameters, std::function<void(Call&)> run);
    void add(std::initializer_list<CommandRow> rows);
    // A numeric setting: "PATTERN <n>" sets it and "PATTERN? [MIN|MAX|DEF]"
    // reads it, or its minimum, maximum or default. `range` gives them
    // for the command's suffixes; it may report an error (a channel that is
    // not there) and give nothing. `get` likewise.
    void addNumber(std::string_view pattern, std::function<std::optional<NumberRange>(Call&)> range,
                   std::function<void(Call&, double)> set, std::function<std::optional<double>(Call&)> get);
    // The first row whose pattern matches, with its suffixes.
    const CommandRow* find(const ParsedCommand& command, std::vector<std::int32_t>& suffixes) const;
    const CommandRow* find(std::span<const HeaderNode> nodes, bool query, bool common,
                           std::vector<std::int32_t>& suffixes) const;
    std::size_t size() const { return rows_.size(); }
    const std::vector<CommandRow>& rows() const { return rows_; }

private:
    std::vector<CommandRow> rows_;
    std::vector<HeaderPattern> patterns_;
};

// Waits for fresh readings: the instrument tells the session, through
// setOperationsComplete(), whether every operation earlier commands started
// has had its effect in the readings. While it says no, *WAI and *OPC? stop
// the line where they stand (startLine() and resume() say Waiting) and keep
// its rest; the server calls resume() later, and *OPC? answers 1 once
// complete. *OPC sets the event status register's operation-complete bit once
// complete, as seen at each new line, each resume and each *ESR? and *STB?.
// A server that gives up waiting calls abandonWait(): its error is queued, the
// waiting *OPC? answers nothing and resume() runs the rest of the line.
class Session {
public:
    // How far a line has run: to its end, to a command that waits (see
    // resume()), to answers past kMaxAnswerBytes, which end the line with
    // its answers thrown away so the server may drop a client that asks for
    // more than it can hold, or to where it yielded its turn (setYield).
    enum class Progress { Done, Waiting, Overflow, Yielded };

    explicit Session(const CommandTable& table);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Whether the operations earlier commands started are complete (always,
    // unless set).
    void setOperationsComplete(std::function<bool()> complete);
    // Asked after each command of a line that has more: true lets the line
    // stop there (Yielded) so the server serves others and the display
    // meanwhile; resume() runs it on. Never, unless set.
    void setYield(std::function<bool()> yieldNow) { yield_ = std::move(yieldNow); }

    // Runs a line until it is done, waits or overflows. A line given while
    // another waits ends that one (-410, its rest not run).
    Progress startLine(std::string_view line);
    // After Waiting: runs the waiting command again and the line on.
    Progress resume();
    // The server gives up waiting: the error is queued; resume() then runs
    // the line on from the command after the waiting one.
    void abandonWait(int number, std::string_view detail);
    bool waiting() const { return waiting_; }
    // A line is begun and not done: it waits, or it yielded its turn.
    bool inLine() const { return waiting_ || yielded_; }
    // The finished line's answers, separated by semicolons and ended by a
    // newline; "" when it held no query that answered, or is not finished.
    std::string takeAnswer();
    // Runs one line; returns its answers as takeAnswer() does ("" while the
    // line waits).
    std::string handleLine(std::string_view line);
    // A line too long to read: its error is queued.
    void refuseLine();
    // An error from outside any command (an instrument event): queued, with
    // its bit in the event status register.
    void report(int number, std::string_view detail = {});

    ErrorQueue& errors() { return errors_; }
    std::uint8_t eventStatus() const { return eventStatus_; }

private:
    Progress runOn();
    void endLine();
    // After a command, with more to run: the line gives up its turn when the
    // server asks.
    bool yieldsHere();
    const CommandRow* lookUp(std::span<const HeaderNode> nodes, const ParsedCommand& command,
                             std::vector<std::int32_t>& suffixes) const;
    // The row a command runs through, from where its path leads or, failing
    // that, with a shorter path down to the root; null for an undefined header.
    const CommandRow* rowOf(const ParseOutcome& parsed, std::vector<std::int32_t>& suffixes);
    void queueError(int number, std::string_view detail = {});
    std::uint8_t statusByte() const;
    // Sets the operation-complete bit once *OPC's operations are complete.
    void noteOperationsComplete();

    const CommandTable& table_;
    CommandTable own_;  // the common commands and the error queue's
    ErrorQueue errors_;
    std::uint8_t eventStatus_ = 0;
    // A new session lets every event through to the status byte's event
    // summary (so any error sets it, as *STB? has always answered) and asks
    // for no service request; *CLS leaves both as they are.
    std::uint8_t eventEnable_ = 255;
    std::uint8_t serviceEnable_ = 0;
    // The path a relative header continues: where the line's last command
    // was found; and the header tried, that path with the command's nodes.
    std::vector<HeaderNode> path_;
    std::vector<HeaderNode> header_;
    std::vector<std::int32_t> suffixes_;
    // The line being run: its commands, the next to run, its answers so far.
    std::vector<ParseOutcome> line_;
    std::size_t next_ = 0;
    std::string answers_;
    bool answered_ = false;
    std::string finished_;  // a finished line's answers, until taken
    std::function<bool()> complete_ = [] { return true; };
    bool waiting_ = false;
    bool yielded_ = false;
    std::function<bool()> yield_;
    bool abandoned_ = false;   // the waiting command is not to run again
    bool opcPending_ = false;  // *OPC's bit is to be set once complete
};

}  // namespace varmolen::scpi
