// The remote commands of the spectrum analyser: SPECtrum:LENGth, WINDow,
// FREQuency:STARt, STOP and SCALe, UNIT, BANDs and WEIGhting, the levels
// and frequencies shown (SPECtrum:DATA?, SPECtrum:FREQuency:DATA?) and the
// strip's weighted level (MEASure:LEVel:WEIGhted?). A choice the menus offer
// works the menu's item, as a user's choice would.
#include <QAction>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "window/BindingTable.h"
#include "window/MarkerControls.h"
#include "window/MeasureControls.h"
#include "window/RemoteCommands.h"
#include "window/Varmolen2.h"
#include "display/SpectrumAnalyser.h"
#include "dsp/SpectrumAnalysis.h"
#include "remote/ScpiSession.h"

namespace varmolen {

namespace {

using scpi::Call;
using scpi::NumberRange;

// The nearest length on the scale of powers of two.
std::int32_t nearestLength(double v)
{
    const double exponent = std::round(
        std::log2(std::clamp(v, static_cast<double>(kAnalysisMinLength), static_cast<double>(kAnalysisMaxLength))));
    return static_cast<std::int32_t>(std::lround(std::exp2(exponent)));
}

// Little-endian 32-bit floats, as WAVeform:DATA? sends REAL.
std::string floatBlock(const std::vector<float>& values)
{
    std::string bytes;
    bytes.reserve(values.size() * 4);
    for (const float v : values) {
        const auto word = std::bit_cast<std::uint32_t>(v);
        for (int b = 0; b < 4; ++b)
            bytes.push_back(static_cast<char>((word >> (8 * b)) & 0xff));
    }
    return bytes;
}

// The points of channel n the analyser shows; false, with the error said,
// when it shows none.
bool shownPoints(TScopeForm& form, Call& call, std::vector<float>& hz, std::vector<float>& levels)
{
    const auto ch = call.channel(0);
    if (!ch)
        return false;
    const InstrumentState& s = form.state();
    if (!analyserShown(s)) {
        call.fail(scpi::code::kSettingsConflict,
                  "the analyser is off: DISPlay:TYPE FREQuency and a SPECtrum setting other than its default");
        return false;
    }
    if (!analyserPoints(s, s, *ch, hz, levels)) {
        call.fail(scpi::code::kDataStale, "no spectrum of the channel yet");
        return false;
    }
    return true;
}

// A query that sends the frequencies (or the levels) of the points shown.
std::function<void(Call&)> pointsQuery(TScopeForm& form, bool frequencies)
{
    return [&form, frequencies](Call& call) {
        std::vector<float> hz;
        std::vector<float> levels;
        if (shownPoints(form, call, hz, levels))
            call.replyBlock(floatBlock(frequencies ? hz : levels));
    };
}

}  // namespace

void addSpectrumCommands(scpi::CommandTable& table, TScopeForm& form,
                         const std::shared_ptr<const std::vector<Binding>>& rows)
{
    InstrumentState& s = form.state();
    const DisplayMenu& menu = form.controls().displayMenu;
    const auto choose = [&form, rows](QAction* item) { runRow(form, rowOf(*rows, item), item, Then::Redraw); };
    AnalyserSettings& a = s.features.analyser;

    table.addNumber(
        "SPECtrum:LENGth",
        [](Call&) {
            return std::optional(NumberRange{
                .minimum = kAnalysisMinLength, .maximum = kAnalysisMaxLength, .byDefault = kAnalysisMinLength});
        },
        [menu, choose](Call&, double v) {
            const std::int32_t length = nearestLength(v);
            for (QAction* item : menu.SpectrumLengths)
                if (item->data().toInt() == length)
                    choose(item);
        },
        [&a](Call&) { return std::optional<double>(a.length); });
    // The frequency axis's ends: 0 (DEFault) is its lowest or half the rate.
    // A start at or above the stop is refused and changes nothing.
    const auto hzRange = [](Call&) {
        return std::optional(
            NumberRange{.minimum = 0.0, .maximum = kSettingsMaxHz, .byDefault = 0.0, .unit = scpi::Unit::Hertz});
    };
    table.addNumber(
        "SPECtrum:FREQuency:STARt", hzRange,
        [&form, &a](Call& call, double v) {
            if (v > 0.0 && a.stopHz > 0.0 && v >= a.stopHz) {
                call.fail(scpi::code::kSettingsConflict, "the start must lie below the stop");
                return;
            }
            a.startHz = v;
            form.markers().UpdateTimeBase();
        },
        [&s](Call&) { return std::optional<double>(shownAxis(s, s).lowHz); });
    table.addNumber(
        "SPECtrum:FREQuency:STOP", hzRange,
        [&form, &a](Call& call, double v) {
            if (v > 0.0 && v <= a.startHz) {
                call.fail(scpi::code::kSettingsConflict, "the stop must lie above the start");
                return;
            }
            a.stopHz = v;
            form.markers().UpdateTimeBase();
        },
        [&s](Call&) { return std::optional<double>(shownAxis(s, s).highHz); });

    // Words that choose one of a menu's items, by the item's place.
    struct Choice {
        const char* header;
        std::vector<const char*> words;
        std::vector<QAction*> items;
        std::int32_t (*place)(const AnalyserSettings&);
    };
    const std::vector<Choice> choices = {
        {"SPECtrum:WINDow",
         {"SPECified", "RECTangular", "HANN", "BHARris", "FLATtop"},
         {menu.SpectrumWindows.begin(), menu.SpectrumWindows.end()},
         [](const AnalyserSettings& x) { return static_cast<std::int32_t>(x.window); }},
        {"SPECtrum:FREQuency:SCALe",
         {"LINear", "LOGarithmic"},
         {menu.FrequencyLinear1, menu.FrequencyLog1},
         [](const AnalyserSettings& x) { return x.logFrequency ? 1 : 0; }},
        {"SPECtrum:UNIT",
         {"DBFS", "DBV", "DBU", "DBFSHZ"},
         {menu.LevelUnits.begin(), menu.LevelUnits.end()},
         [](const AnalyserSettings& x) { return x.unit; }},
        {"SPECtrum:BANDs",
         {"NONE", "OCT1", "OCT3", "OCT6", "OCT12"},
         {menu.OctaveBands.begin(), menu.OctaveBands.end()},
         [](const AnalyserSettings& x) {
             return static_cast<std::int32_t>(std::find(kOctaveFractions.begin(), kOctaveFractions.end(), x.bands) -
                                              kOctaveFractions.begin());
         }},
        {"SPECtrum:WEIGhting",
         {"Z", "A", "C"},
         {menu.Weightings.begin(), menu.Weightings.end()},
         [](const AnalyserSettings& x) { return static_cast<std::int32_t>(x.weighting); }},
    };
    for (const Choice& c : choices) {
        table.add(c.header, 1, [c, choose](Call& call) {
            if (const auto i = call.choice(0, std::span<const char* const>(c.words)))
                choose(c.items[*i]);
        });
        table.add(std::string(c.header) + "?", 0, [c, &a](Call& call) {
            const std::int32_t i = c.place(a);
            if (i >= 0 && static_cast<std::size_t>(i) < c.words.size()) {
                // The short form: the word's capitals (and digits).
                std::string word;
                for (const char* p = c.words[static_cast<std::size_t>(i)]; *p != '\0'; ++p)
                    if (!(*p >= 'a' && *p <= 'z'))
                        word.push_back(*p);
                call.reply(word);
            }
        });
    }

    table.add({
        // The levels shown, in the unit of the level axis, and their
        // frequencies, as 32-bit floats.
        {"SPECtrum:DATA?", 1, pointsQuery(form, false)},
        {"SPECtrum:FREQuency:DATA?", 1, pointsQuery(form, true)},
        // The strip's weighted level of the whole spectrum, in dBFS.
        {"MEASure:LEVel:WEIGhted?", 1,
         [&form, &a](Call& call) {
             const auto ch = call.channel(0);
             if (!ch)
                 return;
             const ToneReading& tone = form.measure().currentReadings(*ch).tone;
             const double power = tone.weightedPower[static_cast<std::size_t>(a.weighting)];
             if (!tone.weightedValid || !(power > 0.0)) {
                 call.fail(scpi::code::kDataStale, "no reading of the channel yet");
                 return;
             }
             call.replyNumber(powerDbfs(power));
         }},
    });
}

}  // namespace varmolen
