#include "remote/ScpiSession.h"

#include <cmath>
#include <exception>
#include <utility>

namespace varmolen::scpi {

namespace {

// Event status register bits.
constexpr std::uint8_t kOperationComplete = 0x01;
constexpr std::uint8_t kQueryErrorBit = 0x04;
constexpr std::uint8_t kDeviceErrorBit = 0x08;
constexpr std::uint8_t kExecutionErrorBit = 0x10;
constexpr std::uint8_t kCommandErrorBit = 0x20;
// Status byte bits: the error queue holds something; the event status
// register has a bit set that *ESE lets through; the status byte has a bit set
// that *SRE lets through (the master summary, which *SRE cannot select itself).
constexpr std::uint8_t kErrorQueueBit = 0x04;
constexpr std::uint8_t kEventSummaryBit = 0x20;
constexpr std::uint8_t kMasterSummaryBit = 0x40;
// What *ESE and *SRE take.
constexpr NumberRange kRegisterRange{0, 255, std::nullopt, Unit::None};

std::uint8_t eventBitOf(int number)
{
    if (number <= -100 && number > -200)
        return kCommandErrorBit;
    if (number <= -200 && number > -300)
        return kExecutionErrorBit;
    if (number <= -300 && number > -400)
        return kDeviceErrorBit;
    if (number <= -400 && number > -500)
        return kQueryErrorBit;
    return 0;
}

}  // namespace

void Session::queueError(int number, std::string_view detail)
{
    errors_.push(number, detail);
    eventStatus_ |= eventBitOf(number);
}

void Session::refuseLine() { queueError(code::kTooMuchData, "line over 65536 bytes"); }

Session::Session(const CommandTable& table) : table_(table)
{
    own_.add({
        {"*CLS", 0,
         [this](Call&) {
             errors_.clear();
             eventStatus_ = 0;
             opcPending_ = false;
         }},
        {"*ESR?", 0,
         [this](Call& c) {
             noteOperationsComplete();
             c.reply(std::to_string(eventStatus_));
             eventStatus_ = 0;
         }},
        {"*ESE", 1,
         [this](Call& c) {
             if (const auto v = c.number(0, kRegisterRange))
                 eventEnable_ = static_cast<std::uint8_t>(std::lround(*v));
         }},
        {"*ESE?", 0, [this](Call& c) { c.reply(std::to_string(eventEnable_)); }},
        {"*SRE", 1,
         [this](Call& c) {
             if (const auto v = c.number(0, kRegisterRange))
                 serviceEnable_ = static_cast<std::uint8_t>(std::lround(*v) & ~kMasterSummaryBit);
         }},
        {"*SRE?", 0, [this](Call& c) { c.reply(std::to_string(serviceEnable_)); }},
        {"*STB?", 0,
         [this](Call& c) {
             noteOperationsComplete();
             c.reply(std::to_string(statusByte()));
         }},
        // Nothing to test and no options; the language's version.
        {"*TST?", 0, [](Call& c) { c.reply("0"); }},
        {"*OPT?", 0, [](Call& c) { c.reply("0"); }},
        {"SYSTem:VERSion?", 0, [](Call& c) { c.reply("1999.0"); }},
        // A command's own work is done when the next one is read; what the
        // instrument does in the background (fresh readings) the hook says.
        {"*OPC", 0,
         [this](Call&) {
             opcPending_ = true;
             noteOperationsComplete();
         }},
        {"*OPC?", 0,
         [this](Call& c) {
             if (complete_())
                 c.reply("1");
             else
                 c.wait();
         }},
        {"*WAI", 0,
         [this](Call& c) {
             if (!complete_())
                 c.wait();
         }},
        {"SYSTem:ERRor[:NEXT]?", 0, [this](Call& c) { c.reply(errors_.pop()); }},
        {"SYSTem:ERRor:COUNt?", 0, [this](Call& c) { c.reply(std::to_string(errors_.size())); }},
    });
}

void Session::setOperationsComplete(std::function<bool()> complete) { complete_ = std::move(complete); }

void Session::noteOperationsComplete()
{
    if (opcPending_ && complete_()) {
        eventStatus_ |= kOperationComplete;
        opcPending_ = false;
    }
}

void Session::report(int number, std::string_view detail) { queueError(number, detail); }

std::uint8_t Session::statusByte() const
{
    std::uint8_t status =
        (errors_.size() > 0 ? kErrorQueueBit : 0) | ((eventStatus_ & eventEnable_) != 0 ? kEventSummaryBit : 0);
    if ((status & serviceEnable_) != 0)
        status |= kMasterSummaryBit;
    return status;
}

const CommandRow* Session::lookUp(std::span<const HeaderNode> nodes, const ParsedCommand& command,
                                  std::vector<std::int32_t>& suffixes) const
{
    if (const CommandRow* row = own_.find(nodes, command.query, command.common, suffixes))
        return row;
    return table_.find(nodes, command.query, command.common, suffixes);
}

const CommandRow* Session::rowOf(const ParseOutcome& parsed, std::vector<std::int32_t>& suffixes)
{
    const ParsedCommand& command = parsed.command;
    for (const HeaderNode& node : command.nodes)
        if (node.mnemonic.size() > kMaxMnemonicLetters + (command.common ? 1 : 0))
            return nullptr;  // names nothing, and is not copied below
    // Where the path before it leads; not found there, with a shorter path,
    // down to the root. The path is what the last command found was found
    // under (an undefined header leaves the root), so it is no deeper than
    // the table's patterns, and every try costs the same whatever the line
    // held before.
    const std::size_t pathDepth = parsed.relative ? path_.size() : 0;
    for (std::size_t keep = pathDepth + 1; keep-- > 0;) {
        header_.assign(path_.begin(), path_.begin() + static_cast<std::ptrdiff_t>(keep));
        header_.insert(header_.end(), command.nodes.begin(), command.nodes.end());
        if (const CommandRow* row = lookUp(header_, command, suffixes)) {
            if (!command.common)
                path_.assign(header_.begin(), header_.end() - 1);
            return row;
        }
        if (keep == 0)
            break;
    }
    if (!command.common)
        path_.clear();
    return nullptr;
}

namespace {

// An undefined header as the error's detail: its nodes as read, at most as
// long as an error's text can hold.
std::string headerText(const ParsedCommand& command)
{
    std::string header;
    for (const HeaderNode& node : command.nodes) {
        if (header.size() > kMaxErrorTextBytes)
            break;
        if (!header.empty())
            header += ':';
        header.append(node.mnemonic, 0, kMaxErrorTextBytes);
        if (node.hasSuffix)
            header += std::to_string(node.suffix);
    }
    if (command.query)
        header += '?';
    return header;
}

}  // namespace

Session::Progress Session::startLine(std::string_view line)
{
    if (waiting_ || yielded_) {
        queueError(code::kQueryInterrupted, "a line came while one waited");
        waiting_ = false;
        yielded_ = false;
        abandoned_ = false;
        endLine();
    }
    noteOperationsComplete();
    finished_.clear();
    line_ = parseLine(line);
    next_ = 0;
    path_.clear();  // each line starts at the root
    return runOn();
}

Session::Progress Session::resume()
{
    if (std::exchange(yielded_, false))
        return runOn();
    if (!waiting_)
        return Progress::Done;
    waiting_ = false;
    noteOperationsComplete();
    if (std::exchange(abandoned_, false))
        ++next_;
    return runOn();
}

void Session::abandonWait(int number, std::string_view detail)
{
    queueError(number, detail);
    abandoned_ = waiting_;
}

Session::Progress Session::runOn()
{
    while (next_ < line_.size()) {
        const ParseOutcome& parsed = line_[next_++];
        if (parsed.error != code::kNoError) {
            queueError(parsed.error, parsed.detail);
            break;
        }
        const ParsedCommand& command = parsed.command;
        const CommandRow* row = rowOf(parsed, suffixes_);
        if (row == nullptr) {
            queueError(code::kUndefinedHeader, headerText(command));
            continue;
        }
        if (command.parameters.size() > row->maxParameters) {
            queueError(code::kParameterNotAllowed, command.parameters[row->maxParameters]);
            continue;
        }
        Call call(command, suffixes_, errors_);
        try {
            row->run(call);
        } catch (const std::exception& e) {
            // Whatever a command throws (memory that ran out) is its error;
            // the line runs on and the session stays the client's.
            call.fail(code::kExecutionError, e.what());
        }
        eventStatus_ |= eventBitOf(call.errorNumber());
        if (call.waiting()) {
            --next_;  // runs again when resumed
            waiting_ = true;
            return Progress::Waiting;
        }
        if (!command.query || call.failed()) {
            if (yieldsHere())
                return Progress::Yielded;
            continue;
        }
        // The answers with their separators and the newline stay within kMaxAnswerBytes.
        if (answers_.size() + (answered_ ? 1 : 0) + call.answer().size() + 1 > kMaxAnswerBytes) {
            queueError(code::kTooMuchData, "answers over 16 MiB");
            endLine();
            return Progress::Overflow;
        }
        if (answered_)
            answers_ += ';';
        answers_ += call.answer();
        answered_ = true;
        if (yieldsHere())
            return Progress::Yielded;
    }
    if (answered_)
        answers_ += '\n';
    finished_ = std::move(answers_);
    endLine();
    return Progress::Done;
}

bool Session::yieldsHere()
{
    yielded_ = next_ < line_.size() && yield_ && yield_();
    return yielded_;
}

void Session::endLine()
{
    line_.clear();
    next_ = 0;
    answers_ = std::string();  // a large answer's room is not kept
    answered_ = false;
}

std::string Session::takeAnswer() { return std::exchange(finished_, {}); }

std::string Session::handleLine(std::string_view line)
{
    startLine(line);
    return takeAnswer();
}

}  // namespace varmolen::scpi
