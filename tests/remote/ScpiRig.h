// A small instrument for the protocol's tests: two channel gains and levels,
// a trigger slope, a source frequency, a frequency reading that channel 2
// cannot form, a block with a newline inside, an answer of as many bytes as
// asked and an identity; whether its readings are fresh is `complete`.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "remote/ScpiSession.h"

namespace varmolen::scpi {

struct ScpiRig {
    std::array<double, 3> gain{0.0, 0.0, 0.0};
    std::array<double, 3> level{0.0, 0.0, 0.0};  // dB, without a default
    double hertz = 1000.0;
    bool complete = true;
    std::string slope = "POS";
    CommandTable table;
    Session session{table};

    ScpiRig()
    {
        session.setOperationsComplete([this] { return complete; });
        table.add({
            {"*IDN?", 0, [](Call& c) { c.reply("V,M,0,1"); }},
            {"CHANnel#:GAIN", 1,
             [this](Call& c) {
                 const auto ch = c.suffixUpTo(2);
                 const auto v = ch ? c.number(0, 0.0, 100.0) : std::nullopt;
                 if (v)
                     gain.at(static_cast<std::size_t>(*ch)) = *v;
             }},
            {"CHANnel#:GAIN?", 0,
             [this](Call& c) {
                 if (const auto ch = c.suffixUpTo(2))
                     c.replyNumber(gain.at(static_cast<std::size_t>(*ch)));
             }},
            {"MEASure:FREQuency?", 1,
             [](Call& c) {
                 if (const auto ch = c.channel(0))
                     c.replyNumber(*ch == 1 ? 100.0 : 0.0 / 0.0);
             }},
            {"TRIGger:SLOPe", 1,
             [this](Call& c) {
                 if (const auto i = c.choice(0, {"POSitive", "NEGative"}))
                     slope = *i == 0 ? "POS" : "NEG";
             }},
            {"TRIGger:SLOPe?", 0, [this](Call& c) { c.reply(slope); }},
            {"WAVeform:DATA?", 0, [](Call& c) { c.replyBlock("ab\ncd"); }},
            {"BULK?", 1,
             [](Call& c) {
                 if (const auto n = c.number(0, 0.0, 2.0 * kMaxAnswerBytes))
                     c.reply(std::string(static_cast<std::size_t>(*n), 'x'));
             }},
        });
        table.addNumber(
            "SOURce:FREQuency",
            [](Call&) {
                return NumberRange{0.1, 20000.0, 1000.0, Unit::Hertz};
            },
            [this](Call&, double v) { hertz = v; }, [this](Call&) { return hertz; });
        table.addNumber(
            "CHANnel#:LEVel",
            [](Call& c) -> std::optional<NumberRange> {
                if (!c.suffixUpTo(2))
                    return std::nullopt;
                return NumberRange{-60.0, 0.0, std::nullopt, Unit::Decibel};
            },
            [this](Call& c, double v) { level.at(static_cast<std::size_t>(c.suffix())) = v; },
            [this](Call& c) -> std::optional<double> {
                if (const auto ch = c.suffixUpTo(2))
                    return level.at(static_cast<std::size_t>(*ch));
                return std::nullopt;
            });
    }

    // Every error queued, oldest first, as numbers.
    std::vector<int> drainErrors()
    {
        std::vector<int> out;
        for (;;) {
            const std::string entry = session.errors().pop();
            const int number = std::stoi(entry);
            if (number == 0)
                return out;
            out.push_back(number);
        }
    }
};

}  // namespace varmolen::scpi
