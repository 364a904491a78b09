#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/remote/ScpiRig.h"

namespace varmolen::scpi {
namespace {

struct LineCase {
    const char* line;
    const char* answer;
    std::vector<int> errors;
};

// Lines a client sends, what they answer and what they leave in the error
// queue, each on a fresh session.
const LineCase kLineCases[] = {
    {"*IDN?", "V,M,0,1\n", {}},
    {"*idn?", "V,M,0,1\n", {}},
    {"chan2:gain 40;:CHANNEL2:GAIN?", "40\n", {}},
    {"CHANnel2:gain 40;CHAN1:GAIN?", "0\n", {}},  // a suffix names the channel; none means 1
    {"CHAN:GAIN 10;GAIN?", "10\n", {}},           // the second header continues the first's path
    {"CHAN1:GAIN 7;CHAN1:GAIN?", "7\n", {}},      // a full header after a path is read from the root
    {"CHAN1:GAIN MAX;GAIN?;GAIN MIN;GAIN?", "100;0\n", {}},
    {"  chan1:gain\t+2.5e1 ; gain?  ", "25\n", {}},
    {"meas:freq? ch2;freq? CHANNEL1;FREQ?", "9.91E37;100;100\n", {}},
    {"CHAN2:GAIN 3;:TRIG:SLOP NEG;CHAN2:GAIN?;:TRIG:SLOP?", "3;NEG\n", {}},
    {"SYST:ERR:COUN?;ERR?", "0;0,\"No error\"\n", {}},  // found with a shorter path
    {"TRIG:SLOP NEG;SLOPE?;:TRIGGER:SLOPE positive;SLOP?", "NEG;POS\n", {}},
    {"WAV:DATA?", "#15ab\ncd\n", {}},
    {"CHANN:GAIN 5", "", {code::kUndefinedHeader}},  // neither the short nor the long form
    {"FOO:BAR?;*IDN?", "V,M,0,1\n", {code::kUndefinedHeader}},
    {"MEAS:FREQ? CH3", "", {code::kDataOutOfRange}},
    {"MEAS:FREQ? FOO", "", {code::kIllegalParameterValue}},
    {"CHAN1:GAIN 101", "", {code::kDataOutOfRange}},
    {"CHAN3:GAIN 1;GAIN?", "", {code::kSuffixOutOfRange, code::kSuffixOutOfRange}},
    {"CHAN1:GAIN abc", "", {code::kIllegalParameterValue}},
    {"CHAN1:GAIN nan", "", {code::kIllegalParameterValue}},
    {"CHAN1:GAIN", "", {code::kMissingParameter}},
    {"CHAN1:GAIN 1,2", "", {code::kParameterNotAllowed}},
    {"*IDN? 3", "", {code::kParameterNotAllowed}},
    {"TRIG:SLOP SIDEWAYS", "", {code::kIllegalParameterValue}},
    {"CHAN1::GAIN 5", "", {code::kSyntaxError}},
    {"CHAN1:GAIN 5,,", "", {code::kSyntaxError}},
    {"TRIG:SLOP 'open", "", {code::kSyntaxError}},
    {"CHAN1:GAIN0 5", "", {code::kUndefinedHeader}},  // a suffix where none is allowed names nothing
    {"TRIG2:SLOP NEG;FOO0;GA1N?", "", {code::kUndefinedHeader, code::kUndefinedHeader, code::kUndefinedHeader}},
    {"CHAN1:GAINSTAGEFACTOR 5;*CLS?;*FOO;*IDN1?",
     "",
     {code::kUndefinedHeader, code::kUndefinedHeader, code::kUndefinedHeader, code::kUndefinedHeader}},
    {"CHAN0:GAIN 5", "", {code::kSuffixOutOfRange}},  // a known node, a channel that is not there
    {"CHAN1:GAIN 5;CHAN-1:GAIN 5", "", {code::kSyntaxError}},
    {"CHAN1:", "", {code::kSyntaxError}},
    {"*IDN?;CHAN1:GA\x01IN 5", "", {code::kInvalidCharacter}},  // the whole line is refused
    {"CHAN1:GAIN 5;@@;CHAN1:GAIN?", "", {code::kSyntaxError}},  // nothing after a syntax error runs
    {";;", "", {}},
    {"", "", {}},
    // Numeric settings: MINimum, MAXimum and DEFault as values and as what a
    // query asks for; numbers with a suffix in the setting's unit.
    {"SOUR:FREQ? MAX;FREQ? min;FREQ? Default;FREQ?", "20000;0.1;1000;1000\n", {}},
    {"SOUR:FREQ MAX;FREQ?;FREQ DEF;FREQ?;FREQ MINIMUM;FREQ?", "20000;1000;0.1\n", {}},
    {"SOUR:FREQ 1.5kHz;FREQ?;FREQ 500 mHz;FREQ?;FREQ 2e3HZ;FREQ?", "1500;0.5;2000\n", {}},
    {"SOUR:FREQ 20.5kHz;FREQ 1MHZ;FREQ 5V;FREQ 5 Hz 3",
     "",
     {code::kDataOutOfRange, code::kDataOutOfRange, code::kInvalidSuffix, code::kIllegalParameterValue}},
    {"SOUR:FREQ? 5;FREQ? MAX,MIN", "", {code::kIllegalParameterValue, code::kParameterNotAllowed}},
    {"CHAN2:LEV -3dB;LEV?;LEV? MIN;:CHAN1:LEV?", "-3;-60;0\n", {}},
    {"CHAN2:LEV DEF;LEV? DEF;LEV -70;LEV -3Hz",
     "",
     {code::kIllegalParameterValue, code::kIllegalParameterValue, code::kDataOutOfRange, code::kInvalidSuffix}},
    {"CHAN3:LEV? MAX;LEV -3;LEV?", "", {code::kSuffixOutOfRange, code::kSuffixOutOfRange, code::kSuffixOutOfRange}},
    {"CHAN1:GAIN 5V;GAIN 5 PCT;GAIN?", "0\n", {code::kSuffixNotAllowed, code::kSuffixNotAllowed}},
    {"SYST:ERR?;SYSTEM:ERROR:NEXT?", "0,\"No error\";0,\"No error\"\n", {}},
    {"FOO;SYST:ERR:COUN?;SYST:ERR?;:SYST:ERR:COUN?", "1;-113,\"Undefined header;FOO\";0\n", {}},
    {"FOO;*ESR?;*ESR?", "32;0\n", {code::kUndefinedHeader}},
    {"CHAN1:GAIN 200;*ESR?;*STB?", "16;4\n", {code::kDataOutOfRange}},
    {"FOO;*CLS;*STB?;*OPC?;*WAI;*OPC;*ESR?", "0;1;1\n", {}},
    // The status byte: 4 the error queue holds something, 32 an event *ESE
    // lets through, 64 a bit of these *SRE lets through.
    {"*TST?;*OPT?;SYST:VERS?;*ESE?;*SRE?", "0;0;1999.0;255;0\n", {}},
    {"*ESE 16;FOO;*STB?;*ESE 32;*STB?", "4;36\n", {code::kUndefinedHeader}},
    {"*SRE 32;*ESE 32;FOO;*STB?;*ESE 0;*STB?", "100;4\n", {code::kUndefinedHeader}},
    {"*SRE 4;FOO;*ESR?;*STB?;*SRE 16;*STB?", "32;68;4\n", {code::kUndefinedHeader}},
    {"*SRE 255;*SRE?;*ESE 16;*SRE 4;*CLS;*ESE?;*SRE?", "191;16;4\n", {}},
    {"*SRE 256;*ESE -1;*ESE 1kHz", "", {code::kDataOutOfRange, code::kDataOutOfRange, code::kSuffixNotAllowed}},
};

TEST(Scpi, LinesAnswerAndQueueTheirErrors)
{
    for (const LineCase& c : kLineCases) {
        ScpiRig rig;
        EXPECT_EQ(rig.session.handleLine(c.line), c.answer) << c.line;
        EXPECT_EQ(rig.drainErrors(), c.errors) << c.line;
    }
}

TEST(Scpi, ALineOverItsBoundsIsRefusedWholeAndNothingOfItRuns)
{
    std::string most = "CHAN1:GAIN 7";  // 64 commands
    for (std::size_t i = 1; i < kMaxCommandsPerLine; ++i)
        most += ";*IDN?";
    const std::string deepest = "CHAN1:GAIN 7;:A:B:C:D:E:F:G:H:I:J:K:L";  // 12 nodes
    struct Bound {
        std::string line;
        std::vector<int> errors;
        double gain;          // channel 1's afterwards: 7 when the line ran
        std::size_t answers;  // identities answered
    };
    const Bound bounds[] = {
        {most, {}, 7, 63},
        {most + ";*IDN?", {code::kTooMuchData}, 0, 0},
        {most + "; ;;\t", {}, 7, 63},  // empty pieces are no commands
        {most + ";TRIG:SLOP ';;;'", {code::kTooMuchData}, 0, 0},
        {deepest, {code::kUndefinedHeader}, 7, 0},
        {deepest + ":M", {code::kTooMuchData}, 0, 0},
        {deepest + ";M", {code::kUndefinedHeader, code::kUndefinedHeader}, 7, 0},
        // The path a header continues is where the command before it was
        // found: after an undefined header, the root.
        {deepest + ";M:N", {code::kUndefinedHeader, code::kUndefinedHeader}, 7, 0},
        {deepest + ";:M:N", {code::kUndefinedHeader, code::kUndefinedHeader}, 7, 0},
        {"CHAN1:GAIN 7;@@;" + deepest + ":M", {code::kSyntaxError}, 7, 0},  // read no further
    };
    for (const Bound& b : bounds) {
        ScpiRig rig;
        const std::string answer = rig.session.handleLine(b.line);
        std::size_t answers = 0;
        for (std::size_t at = answer.find("V,M"); at != std::string::npos; at = answer.find("V,M", at + 1))
            ++answers;
        EXPECT_EQ(rig.drainErrors(), b.errors) << b.line;
        EXPECT_EQ(rig.gain[1], b.gain) << b.line;
        EXPECT_EQ(answers, b.answers) << b.line;
    }
    // Full headers each found from the root again, as many as a line may
    // hold: the path they continue never grows past where they were found.
    ScpiRig rig;
    std::string line = "TRIG:SLOP NEG";
    std::string answers;
    for (std::size_t i = 1; i < kMaxCommandsPerLine; ++i) {
        line += ";TRIG:SLOP?";
        answers += answers.empty() ? "NEG" : ";NEG";
    }
    EXPECT_EQ(rig.session.handleLine(line), answers + "\n");
    EXPECT_EQ(rig.drainErrors(), std::vector<int>{});
}

TEST(Scpi, AnswersPastTheirBoundEndTheLineAndAreThrownAway)
{
    using Progress = Session::Progress;
    const std::string most = std::to_string(kMaxAnswerBytes - 1);  // and the newline
    const std::string half = std::to_string(kMaxAnswerBytes / 2);
    struct Overflow {
        std::string line;
        Progress progress;
        std::size_t answer;  // bytes
        std::vector<int> errors;
        double gain;  // channel 1's afterwards
    };
    const Overflow cases[] = {
        {"BULK? " + most + ";CHAN1:GAIN 7", Progress::Done, kMaxAnswerBytes, {}, 7},
        {"BULK? " + std::to_string(kMaxAnswerBytes) + ";CHAN1:GAIN 7", Progress::Overflow, 0, {code::kTooMuchData}, 0},
        {"CHAN1:GAIN 7;BULK? " + half + ";BULK? " + half, Progress::Overflow, 0, {code::kTooMuchData}, 7},
    };
    for (const Overflow& c : cases) {
        ScpiRig rig;
        EXPECT_EQ(rig.session.startLine(c.line), c.progress);
        EXPECT_EQ(rig.session.takeAnswer().size(), c.answer);
        EXPECT_EQ(rig.drainErrors(), c.errors);
        EXPECT_EQ(rig.gain[1], c.gain);
    }
}

TEST(Scpi, WaitsHoldTheRestOfTheLineUntilTheReadingsAreFresh)
{
    using Progress = Session::Progress;
    struct Wait {
        const char* line;
        double gainWhileWaiting;  // channel 1's: what ran before the wait
        const char* answer;       // once complete
    };
    const Wait waits[] = {
        {"CHAN1:GAIN 5;*OPC?;GAIN 6;GAIN?", 5, "1;6\n"},
        {"CHAN1:GAIN 5;*WAI;GAIN 6;GAIN?", 5, "6\n"},
        {"*IDN?;*OPC?;CHAN1:GAIN 6;*WAI;*IDN?", 0, "V,M,0,1;1;V,M,0,1\n"},
    };
    for (const Wait& w : waits) {
        ScpiRig rig;
        rig.complete = false;
        EXPECT_EQ(rig.session.startLine(w.line), Progress::Waiting) << w.line;
        EXPECT_EQ(rig.session.takeAnswer(), "") << w.line;
        EXPECT_EQ(rig.session.resume(), Progress::Waiting) << w.line;
        EXPECT_EQ(rig.gain[1], w.gainWhileWaiting) << w.line;
        rig.complete = true;
        EXPECT_EQ(rig.session.resume(), Progress::Done) << w.line;
        EXPECT_FALSE(rig.session.waiting()) << w.line;
        EXPECT_EQ(rig.session.takeAnswer(), w.answer) << w.line;
        EXPECT_EQ(rig.gain[1], 6) << w.line;
        EXPECT_EQ(rig.drainErrors(), std::vector<int>{}) << w.line;
    }
}

TEST(Scpi, AnAbandonedWaitIsAnErrorAndTheLineRunsOnWithoutItsAnswer)
{
    ScpiRig rig;
    rig.complete = false;
    EXPECT_EQ(rig.session.startLine("CHAN1:GAIN 5;*OPC?;GAIN 6;GAIN?"), Session::Progress::Waiting);
    rig.session.abandonWait(code::kDataStale, "no fresh reading");
    EXPECT_EQ(rig.session.resume(), Session::Progress::Done);
    EXPECT_EQ(rig.session.takeAnswer(), "6\n");
    EXPECT_EQ(rig.session.eventStatus(), 16);  // an execution error
    EXPECT_EQ(rig.drainErrors(), std::vector<int>{code::kDataStale});
    // A new line while one waits ends the waiting one.
    EXPECT_EQ(rig.session.startLine("*WAI;CHAN1:GAIN 7"), Session::Progress::Waiting);
    EXPECT_EQ(rig.session.handleLine("GAIN?"), "");
    EXPECT_EQ(rig.gain[1], 6);
    EXPECT_EQ(rig.drainErrors(), (std::vector<int>{code::kQueryInterrupted, code::kUndefinedHeader}));
}

TEST(Scpi, OperationCompleteIsSetOnceTheReadingsAreFresh)
{
    ScpiRig rig;
    rig.complete = false;
    EXPECT_EQ(rig.session.handleLine("*OPC;*ESR?;*STB?"), "0;0\n");
    rig.complete = true;
    EXPECT_EQ(rig.session.handleLine("*STB?;*ESR?;*ESR?"), "32;1;0\n");
    rig.complete = false;
    EXPECT_EQ(rig.session.handleLine("*OPC;*CLS"), "");
    rig.complete = true;
    EXPECT_EQ(rig.session.handleLine("*ESR?"), "0\n");             // *CLS forgot it
    rig.session.report(code::kExecutionError, "capture stopped");  // an instrument's event
    EXPECT_EQ(rig.session.handleLine("*ESR?;SYST:ERR?"), "16;-200,\"Execution error;capture stopped\"\n");
}

TEST(Scpi, TheErrorQueueKeepsSixteenAndMarksTheOverflow)
{
    ScpiRig rig;
    for (int i = 0; i < 20; ++i)
        rig.session.handleLine("FOO");
    std::vector<int> expected(ErrorQueue::kCapacity - 1, code::kUndefinedHeader);
    expected.push_back(code::kQueueOverflow);
    EXPECT_EQ(rig.drainErrors(), expected);
    // Read out, the queue takes errors again, its text intact.
    rig.session.handleLine("CHAN1:GAIN \"5\"");
    EXPECT_EQ(rig.session.handleLine("SYST:ERR?"), "-224,\"Illegal parameter value;\"\"5\"\"\"\n");
}

TEST(Scpi, AnErrorTextStopsAtItsBoundAndNeverHalvesADoubledQuote)
{
    struct Cut {
        int number;
        std::string detail;
        std::size_t length;  // of the text between the entry's quotes
    };
    const Cut cuts[] = {
        {code::kUndefinedHeader, "FOO", 20},
        {code::kUndefinedHeader, std::string(70000, 'A'), kMaxErrorTextBytes},
        {code::kUndefinedHeader, std::string(300, '\x01'), kMaxErrorTextBytes},
        // "Illegal parameter value;" leaves 231 bytes: 115 doubled quotes.
        {code::kIllegalParameterValue, std::string(300, '"'), 254},
        {code::kUndefinedHeader, std::string(300, '"'), 255},
    };
    for (const Cut& c : cuts) {
        ErrorQueue queue;
        queue.push(c.number, c.detail);
        const std::string entry = queue.pop();
        const std::string text = entry.substr(entry.find('"') + 1, entry.size() - entry.find('"') - 2);
        EXPECT_EQ(text.size(), c.length) << entry;
        EXPECT_EQ(std::count(text.begin(), text.end(), '"') % 2, 0) << entry;
    }
}

TEST(Scpi, LinesAreCutAtNewlinesAndOverlongOnesRefusedWhole)
{
    struct FramerCase {
        std::vector<std::string> feeds;
        std::vector<std::string> lines;  // "!" stands for a refused line
    };
    const std::string overlong(kMaxLineBytes + 1, 'A');
    const std::string longest(kMaxLineBytes, 'B');
    const FramerCase cases[] = {
        {{"*IDN?\n"}, {"*IDN?"}},
        {{"*ID", "N?\r", "\nA\n\nB"}, {"*IDN?", "A", ""}},  // B waits for its newline
        {{overlong + "\n*IDN?\n"}, {"!", "*IDN?"}},
        {{overlong.substr(0, 40000), overlong.substr(40000), "\n", "X\n"}, {"!", "X"}},
        {{longest + "\n"}, {longest}},
    };
    for (const FramerCase& c : cases) {
        LineFramer framer;
        std::vector<std::string> lines;
        for (const std::string& feed : c.feeds)
            framer.feed(feed, [&](std::string_view line, bool refused) {
                lines.push_back(refused ? std::string("!") : std::string(line));
            });
        EXPECT_EQ(lines, c.lines);
        EXPECT_LE(framer.pending(), kMaxLineBytes);
    }
}

TEST(Scpi, NumbersCarryTheirUnitsSuffixScaledToTheUnit)
{
    struct Number {
        const char* text;
        Unit unit;
        std::optional<double> value;
        int error;  // 0 while there is a value
    };
    const Number numbers[] = {
        {"1kHz", Unit::Hertz, 1000, 0},
        {"500 mHz", Unit::Hertz, 0.5, 0},
        {"500mhz", Unit::Hertz, 0.5, 0},
        {"2MHZ", Unit::Hertz, 2e6, 0},  // M before HZ is mega
        {"2 Mhz", Unit::Hertz, 2e6, 0},
        {"1.5maHz", Unit::Hertz, 1.5e6, 0},
        {"3 GHZ", Unit::Hertz, 3e9, 0},
        {"7 uHz", Unit::Hertz, 7e-6, 0},
        {"1e3Hz", Unit::Hertz, 1000, 0},
        {"+440", Unit::Hertz, 440, 0},
        {"-3dB", Unit::Decibel, -3, 0},
        {"-3 dBFS", Unit::Decibel, -3, 0},
        {"10ms", Unit::Second, 0.01, 0},
        {"3ns", Unit::Second, 3e-9, 0},
        {"2.5 V", Unit::Volt, 2.5, 0},
        {"250mV", Unit::Volt, 0.25, 0},
        {"50PCT", Unit::Percent, 50, 0},
        {"5 V", Unit::Hertz, std::nullopt, code::kInvalidSuffix},
        {"3 kdB", Unit::Decibel, std::nullopt, code::kInvalidSuffix},
        {"1 ks", Unit::Second, std::nullopt, code::kInvalidSuffix},
        {"1kHz", Unit::None, std::nullopt, code::kSuffixNotAllowed},
        {"5 6", Unit::Hertz, std::nullopt, code::kIllegalParameterValue},
        {"Hz", Unit::Hertz, std::nullopt, code::kIllegalParameterValue},
        {"+-5", Unit::None, std::nullopt, code::kIllegalParameterValue},
        {"1e999", Unit::None, std::nullopt, code::kIllegalParameterValue},
    };
    for (const Number& n : numbers) {
        int error = code::kNoError;
        const std::optional<double> value = parseNumber(n.text, n.unit, &error);
        EXPECT_EQ(value, n.value) << n.text;
        EXPECT_EQ(error, n.error) << n.text;
    }
}

TEST(Scpi, AWebClientsLinesAreToldFromCommands)
{
    const char* const web[] = {
        "GET / HTTP/1.1",
        "POST /api?x=1 HTTP/1.0",
        "OPTIONS * HTTP/1.1",
        "Host: 127.0.0.1:5025",
        "Origin: http://a.b",
        "User-Agent: curl/8.5",
        "Accept:",
        "X-Forwarded-For:\t10.0.0.1",
        "Sec-Fetch-Mode: cors",
    };
    const char* const commands[] = {
        "MEAS:FREQ? CH1",
        ":SYST:ERR?",
        "SOUR:VOLT -3",
        "*IDN?",
        "TRIG:SLOP NEG;:TRIG:SLOP?",
        "CHANnel2:GAIN MAX",
        "SYSTem:ERRor:NEXT?",
        "SOUR:FREQ 1kHz;FREQ? DEF",
        "*ESE 16;*STB?",
        "get / HTTP/1.1",
        "GET / HTTP/2.0",
        "GET  HTTP/1.1",
        "GET /",
        "HOST",
        "",
    };
    for (const char* line : web)
        EXPECT_TRUE(looksLikeHttp(line)) << line;
    for (const char* line : commands)
        EXPECT_FALSE(looksLikeHttp(line)) << line;
}

TEST(Scpi, AnswersFormatNumbersAndBlocks)
{
    EXPECT_EQ(formatNumber(440.0), "440");
    EXPECT_EQ(formatNumber(-0.0125), "-0.0125");
    EXPECT_EQ(formatNumber(1234.567890123), "1234.56789");
    EXPECT_EQ(formatNumber(1.0 / 0.0), kNotANumber);
    EXPECT_EQ(formatBlock(""), "#10");
    EXPECT_EQ(formatBlock(std::string(2048, 'x')).substr(0, 6), "#42048");
    EXPECT_EQ(parseString("'it''s'"), "it's");
    EXPECT_EQ(parseString("\"a\"b\""), std::nullopt);
}

}  // namespace
}  // namespace varmolen::scpi
