// 100 000 lines of random bytes and of valid lines mutated byte by byte,
// through the framer and a session whose readings are now and then not fresh
// yet, from a fixed seed: nothing crashes, every answer is one line (or a
// block and its newline), the queue stays within its size and holds only
// standard errors, and the session still answers afterwards.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

#include "tests/remote/ScpiRig.h"

namespace varmolen::scpi {
namespace {

constexpr int kLines = 100000;

const char* const kSeeds[] = {
    "*IDN?",
    "CHAN2:GAIN 40;GAIN?",
    "MEAS:FREQ? CH1;FREQ? CH2",
    "TRIG:SLOP NEG;:TRIG:SLOP?",
    "WAV:DATA?",
    "SYST:ERR:NEXT?",
    "*ESR?;*STB?;*CLS",
    "CHANnel1:GAIN MAX",
    "TRIG:SLOP 'x''y'",
    "SOUR:FREQ 1.5 kHz;FREQ? MAX",
    "CHAN2:LEV -3dB;LEV? DEF",
    "*OPC?;*WAI;CHAN1:GAIN 1;*OPC;*ESE 16;*SRE 32;*STB?",
};

std::string mutate(std::string line, std::mt19937& random)
{
    std::uniform_int_distribution<int> byte(0, 255);
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
        const std::size_t at = line.empty() ? 0 : random() % (line.size() + 1);
        switch (random() % 4) {
            case 0:
                line.insert(at, 1, static_cast<char>(byte(random)));
                break;
            case 1:
                if (at < line.size())
                    line.erase(at, 1);
                break;
            case 2:
                if (at < line.size())
                    line[at] = "?:;,'\"#* 0123456789"[random() % 19];
                break;
            default:
                line.insert(at, line.substr(0, random() % (line.size() + 1)));
                break;
        }
    }
    return line;
}

TEST(ScpiFuzz, RandomAndMutatedLinesNeverBreakTheSession)
{
    const std::set<int> standard = {code::kCommandError,        code::kInvalidCharacter,      code::kSyntaxError,
                                    code::kParameterNotAllowed, code::kMissingParameter,      code::kUndefinedHeader,
                                    code::kSuffixOutOfRange,    code::kInvalidSuffix,         code::kSuffixNotAllowed,
                                    code::kExecutionError,      code::kSettingsConflict,      code::kDataOutOfRange,
                                    code::kTooMuchData,         code::kIllegalParameterValue, code::kQueueOverflow};
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    ScpiRig rig;
    LineFramer framer;
    int linesRun = 0;
    int answered = 0;
    for (int i = 0; i < kLines; ++i) {
        std::string line;
        if (i % 2 == 0) {
            line.resize(random() % 120);
            for (char& c : line)
                c = static_cast<char>(byte(random));
        } else {
            line = mutate(kSeeds[random() % std::size(kSeeds)], random);
        }
        // The line's own newlines cut it further, as a socket would.
        framer.feed(line + "\n", [&](std::string_view one, bool refused) {
            ASSERT_FALSE(refused);
            // Now and then the readings are not fresh: a line that waits is
            // resumed, or its wait abandoned, once they are.
            rig.complete = random() % 8 != 0;
            if (rig.session.startLine(one) == Session::Progress::Waiting) {
                rig.complete = true;
                if (random() % 2 == 0)
                    rig.session.abandonWait(code::kExecutionError, "no fresh reading");
                ASSERT_EQ(rig.session.resume(), Session::Progress::Done) << one;
            }
            const std::string answer = rig.session.takeAnswer();
            if (!answer.empty()) {
                ++answered;
                ASSERT_EQ(answer.back(), '\n') << one;
                const bool block = answer.find('#') != std::string::npos;
                ASSERT_TRUE(block || answer.find('\n') == answer.size() - 1) << one;
            }
        });
        ++linesRun;
        ASSERT_LE(rig.session.errors().size(), ErrorQueue::kCapacity);
        if (i % 1000 == 999) {
            for (int number : rig.drainErrors()) {
                ASSERT_TRUE(standard.count(number) == 1) << number;
            }
        }
    }
    EXPECT_EQ(linesRun, kLines);
    EXPECT_GT(answered, kLines / 50);  // many mutated lines stay valid
    rig.drainErrors();
    EXPECT_EQ(rig.session.handleLine("*IDN?"), "V,M,0,1\n");
}

}  // namespace
}  // namespace varmolen::scpi
