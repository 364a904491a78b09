// What a command's row is handed (its parameters read and checked, its answer
// and errors) and the table of rows a session looks commands up in.
#include "remote/ScpiSession.h"

namespace varmolen::scpi {

Call::Call(const ParsedCommand& command, std::vector<std::int32_t> suffixes, ErrorQueue& errors)
    : command_(command), suffixes_(std::move(suffixes)), errors_(errors)
{}

std::int32_t Call::suffix(std::size_t index) const { return index < suffixes_.size() ? suffixes_[index] : 1; }

std::optional<std::int32_t> Call::suffixUpTo(std::int32_t last, std::size_t index)
{
    const std::int32_t n = suffix(index);
    if (n >= 1 && n <= last)
        return n;
    fail(code::kSuffixOutOfRange, std::to_string(n));
    return std::nullopt;
}

bool Call::present(std::size_t index)
{
    if (index < command_.parameters.size())
        return true;
    fail(code::kMissingParameter);
    return false;
}

std::optional<double> Call::number(std::size_t index, const NumberRange& range)
{
    if (!present(index))
        return std::nullopt;
    const std::string& text = command_.parameters[index];
    if (matchesChoice(text, "MINimum"))
        return range.minimum;
    if (matchesChoice(text, "MAXimum"))
        return range.maximum;
    if (matchesChoice(text, "DEFault")) {
        if (!range.byDefault)
            fail(code::kIllegalParameterValue, "no default");
        return range.byDefault;
    }
    int error = code::kNoError;
    const std::optional<double> value = parseNumber(text, range.unit, &error);
    if (!value) {
        fail(error, text);
        return std::nullopt;
    }
    if (*value < range.minimum || *value > range.maximum) {
        fail(code::kDataOutOfRange, text);
        return std::nullopt;
    }
    return value;
}

std::optional<double> Call::number(std::size_t index, double minimum, double maximum)
{
    return number(index, NumberRange{minimum, maximum, std::nullopt, Unit::None});
}

std::optional<bool> Call::boolean(std::size_t index)
{
    if (!present(index))
        return std::nullopt;
    const std::optional<bool> value = parseBoolean(command_.parameters[index]);
    if (!value)
        fail(code::kIllegalParameterValue, command_.parameters[index]);
    return value;
}

std::optional<std::size_t> Call::choice(std::size_t index, std::initializer_list<const char*> choices)
{
    return choice(index, std::span<const char* const>(choices.begin(), choices.size()));
}

namespace {

// A word that ends in digits ("OCT12") is its letters with that numeric
// suffix: the parser reads the parameter's trailing digits as one.
bool matchesWord(const std::string& parameter, std::string_view word)
{
    const std::size_t letters = word.find_last_not_of("0123456789") + 1;
    if (letters == 0 || letters == word.size())
        return matchesChoice(parameter, word);
    std::int32_t wanted = 0;
    for (const char d : word.substr(letters))
        wanted = wanted * 10 + (d - '0');
    std::int32_t given = 0;
    return matchesChoice(parameter, std::string(word.substr(0, letters)) + "#", &given) && given == wanted;
}

}  // namespace

std::optional<std::size_t> Call::choice(std::size_t index, std::span<const char* const> choices)
{
    if (!present(index))
        return std::nullopt;
    std::size_t i = 0;
    for (const char* c : choices) {
        if (matchesWord(command_.parameters[index], c))
            return i;
        ++i;
    }
    fail(code::kIllegalParameterValue, command_.parameters[index]);
    return std::nullopt;
}

std::optional<std::int32_t> Call::channel(std::size_t index)
{
    if (index >= command_.parameters.size())
        return 1;
    const std::string& text = command_.parameters[index];
    std::int32_t number = 0;
    if (!matchesChoice(text, "CH#", &number) && !matchesChoice(text, "CHANnel#", &number)) {
        fail(code::kIllegalParameterValue, text);
        return std::nullopt;
    }
    if (number != 1 && number != 2) {
        fail(code::kDataOutOfRange, text);
        return std::nullopt;
    }
    return number;
}

std::optional<std::string> Call::string(std::size_t index)
{
    if (!present(index))
        return std::nullopt;
    std::optional<std::string> value = parseString(command_.parameters[index]);
    if (!value)
        fail(code::kIllegalParameterValue, command_.parameters[index]);
    return value;
}

void Call::reply(std::string_view text)
{
    if (answered_)
        answer_ += ',';
    answer_.append(text);
    answered_ = true;
}

void Call::fail(int number, std::string_view detail)
{
    errors_.push(number, detail);
    failed_ = true;
    errorNumber_ = number;
}

void CommandTable::add(std::string_view pattern, std::size_t maxParameters, std::function<void(Call&)> run)
{
    rows_.push_back({std::string(pattern), maxParameters, std::move(run)});
    patterns_.emplace_back(pattern);
}

void CommandTable::add(std::initializer_list<CommandRow> rows)
{
    for (const CommandRow& row : rows)
        add(row.pattern, row.maxParameters, row.run);
}

void CommandTable::addNumber(std::string_view pattern, std::function<std::optional<NumberRange>(Call&)> range,
                             std::function<void(Call&, double)> set, std::function<std::optional<double>(Call&)> get)
{
    add(pattern, 1, [range, set = std::move(set)](Call& call) {
        if (const std::optional<NumberRange> s = range(call))
            if (const std::optional<double> v = call.number(0, *s))
                set(call, *v);
    });
    add(std::string(pattern) + "?", 1, [range = std::move(range), get = std::move(get)](Call& call) {
        if (call.parameterCount() == 0) {
            if (const std::optional<double> v = get(call))
                call.replyNumber(*v);
            return;
        }
        const std::optional<NumberRange> s = range(call);
        const std::optional<std::size_t> which = s ? call.choice(0, {"MINimum", "MAXimum", "DEFault"}) : std::nullopt;
        if (!which)
            return;
        if (*which == 2 && !s->byDefault)
            call.fail(code::kIllegalParameterValue, "no default");
        else
            call.replyNumber(*which == 0 ? s->minimum : *which == 1 ? s->maximum : *s->byDefault);
    });
}

const CommandRow* CommandTable::find(const ParsedCommand& command, std::vector<std::int32_t>& suffixes) const
{
    return find(command.nodes, command.query, command.common, suffixes);
}

const CommandRow* CommandTable::find(std::span<const HeaderNode> nodes, bool query, bool common,
                                     std::vector<std::int32_t>& suffixes) const
{
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (patterns_[i].matches(nodes, query, common, suffixes))
            return &rows_[i];
    return nullptr;
}

}  // namespace varmolen::scpi
