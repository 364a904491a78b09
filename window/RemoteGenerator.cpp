// The remote commands of the signal generator and the response sweep. They
// set the generator through GeneratorControl, as the generator window's
// controls do, and start a sweep through TScopeForm::startSweep, as the
// sweep window's Start does; the two windows, where open, then show what
// the script did.
#include <cmath>
#include <limits>
#include <string>

#include "window/RemoteCommands.h"
#include "window/GeneratorWindow.h"
#include "window/SweepWindow.h"
#include "window/Varmolen2.h"
#include "acquisition/GeneratorControl.h"
#include "remote/ScpiSession.h"

namespace varmolen {

namespace {

using scpi::Call;
using scpi::NumberRange;

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

// The waveforms' words in the order of SynthWaveform; the two-tone signals
// are IMD60 (60 Hz + 7 kHz) and IMD19 (19 kHz + 20 kHz), read as IMD with a
// suffix.
constexpr const char* kWaveformWords[kSynthWaveformCount] = {"SINusoid", "SQUare", "TRIangle", "SAWtooth",
                                                             "WHITe",    "PINK",   "IMD#",     "IMD#"};
constexpr const char* kWaveformAnswers[kSynthWaveformCount] = {"SIN",  "SQU",  "TRI",   "SAW",
                                                               "WHIT", "PINK", "IMD60", "IMD19"};
constexpr const char* kChannelAnswers[3] = {"LEFT", "RIGH", "BOTH"};

std::optional<SynthWaveform> waveformOf(Call& call)
{
    if (call.parameterCount() == 0) {
        call.fail(scpi::code::kMissingParameter);
        return std::nullopt;
    }
    const std::string& text = call.parameter(0);
    for (int i = 0; i < kSynthWaveformCount; ++i) {
        std::int32_t suffix = 0;
        if (!scpi::matchesChoice(text, kWaveformWords[i], &suffix))
            continue;
        const auto waveform = static_cast<SynthWaveform>(i);
        if (waveform == SynthWaveform::TwoToneLow && suffix != 60)
            continue;
        if (waveform == SynthWaveform::TwoToneHigh && suffix != 19)
            continue;
        return waveform;
    }
    call.fail(scpi::code::kIllegalParameterValue, text);
    return std::nullopt;
}

// The open windows show the generator's settings and the sweep as they are now.
void showInWindows(TScopeForm& form)
{
    if (GeneratorWindow* w = form.generatorPanel().generatorWindow())
        w->showSettings();
    if (SweepWindow* w = form.generatorPanel().sweepWindow()) {
        w->load();
        w->showRows();
    }
}

// The sweep plan's numbers: a setter and a query each.
struct PlanNumber {
    const char* pattern;
    double SweepPlan::*field;
    double low, high;
    scpi::Unit unit;
};
const PlanNumber kPlanNumbers[] = {
    {"SWEep:STARt", &SweepPlan::startHz, kSweepMinHz, kSettingsMaxHz, scpi::Unit::Hertz},
    {"SWEep:STOP", &SweepPlan::stopHz, kSweepMinHz, kSettingsMaxHz, scpi::Unit::Hertz},
    {"SWEep:LEVel", &SweepPlan::levelDbfs, kSynthMinDbfs, kSynthMaxDbfs, scpi::Unit::Decibel},
};

}  // namespace

void resetGenerator(TScopeForm& form)
{
    GeneratorControl& g = form.generatorPanel().generator();
    g.switchOff();  // a running sweep ends with it
    const SynthSettings start;
    g.setWaveform(start.waveform);
    g.setFrequency(start.hz);
    g.setLevel(start.levelDbfs);
    g.setChannels(start.channels);
    g.setInvertRight(start.invertRight);
    showInWindows(form);
}

void addGeneratorCommands(scpi::CommandTable& table, TScopeForm& form)
{
    GeneratorControl& g = form.generatorPanel().generator();
    SweepPlan& plan = form.state().features.sweep;
    // Runs a setter of the generator, then shows it in the windows.
    const auto shown = [&form](auto set) {
        return [&form, set](Call& call) {
            set(call);
            showInWindows(form);
        };
    };
    const SynthSettings startup;
    const auto levelRange = [startup](Call&) {
        return std::optional(NumberRange{.minimum = kSynthMinDbfs,
                                         .maximum = kSynthMaxDbfs,
                                         .byDefault = startup.levelDbfs,
                                         .unit = scpi::Unit::Decibel});
    };
    const auto setLevel = [&g, &form](Call&, double v) {
        g.setLevel(v);
        showInWindows(form);
    };
    const auto level = [&g](Call&) { return std::optional(g.settings().levelDbfs); };

    table.add({
        {"SOURce:FUNCtion[:SHAPe]", 1, shown([&g](Call& call) {
             if (const auto w = waveformOf(call))
                 g.setWaveform(*w);
         })},
        {"SOURce:FUNCtion[:SHAPe]?", 0,
         [&g](Call& call) { call.reply(kWaveformAnswers[static_cast<int>(g.settings().waveform)]); }},
        {"SOURce:CHANnels", 1, shown([&g](Call& call) {
             if (const auto i = call.choice(0, {"LEFT", "RIGHt", "BOTH"}))
                 g.setChannels(static_cast<SynthChannels>(*i));
         })},
        {"SOURce:CHANnels?", 0,
         [&g](Call& call) { call.reply(kChannelAnswers[static_cast<int>(g.settings().channels)]); }},
        {"SOURce:INVert", 1, shown([&g](Call& call) {
             if (const auto on = call.boolean(0))
                 g.setInvertRight(*on);
         })},
        {"SOURce:INVert?", 0, [&g](Call& call) { call.reply(g.settings().invertRight ? "1" : "0"); }},
        // On at the capture's rate; refused with the reason when no output plays.
        {"OUTPut[:STATe]", 1, shown([&g, &form](Call& call) {
             const auto on = call.boolean(0);
             if (!on)
                 return;
             std::string whyNot;
             if (!*on)
                 g.switchOff();
             else if (!g.on() && !g.switchOn(form.state().sampleRate, whyNot))
                 call.fail(scpi::code::kSettingsConflict, whyNot);
         })},
        {"OUTPut[:STATe]?", 0, [&g](Call& call) { call.reply(g.on() ? "1" : "0"); }},

        // Running the sweep, as the sweep window's Start and Cancel.
        {"SWEep:RUN", 0, shown([&form, &plan](Call& call) {
             std::string whyNot;
             if (form.generatorPanel().generator().sweeping())
                 call.fail(scpi::code::kSettingsConflict, "a sweep runs");
             else if (!form.generatorPanel().startSweep(plan, whyNot))
                 call.fail(scpi::code::kSettingsConflict, whyNot);
         })},
        {"SWEep:ABORt", 0, shown([&g](Call&) { g.cancelSweep(); })},
        // Running (1 or 0), the steps measured and the steps in all.
        {"SWEep:STATe?", 0,
         [&g](Call& call) {
             call.reply(g.sweeping() ? "1" : "0");
             call.replyNumber(g.sweepStepsDone());
             call.replyNumber(g.sweepSteps());
         }},
        // Five numbers a row measured so far: frequency, level (dBFS),
        // relative level (dB), THD and THD+N (%); 9.91E37 where a reading is
        // missing.
        // For a log sweep, three numbers a point: frequency, magnitude (dB)
        // and phase (degrees), smoothed as SWEep:SMOothing says.
        {"SWEep:DATA?", 0,
         [&g, &form](Call& call) {
             if (g.lastSweepType() == kLogSweep) {
                 const auto log = g.logSweepResult();
                 if (log && log->valid)
                     for (const ResponsePoint& p : smoothResponse(log->points, form.state().features.sweepSmoothing)) {
                         call.replyNumber(p.hz);
                         call.replyNumber(p.magnitudeDb);
                         call.replyNumber(p.phaseDeg);
                     }
                 else
                     call.reply("");
                 return;
             }
             const std::vector<SweepRow> rows = g.sweepRows();
             const int ref = sweepReferenceRow(rows);
             for (const SweepRow& r : rows) {
                 const std::optional<double> relative = sweepRelativeDb(rows, ref, r);
                 call.replyNumber(r.hz);
                 call.replyNumber(r.valid ? r.levelDbfs : kNotANumber);
                 call.replyNumber(relative.value_or(kNotANumber));
                 call.replyNumber(r.valid && r.thdValid ? r.thdPercent : kNotANumber);
                 call.replyNumber(r.valid && r.thdNValid ? r.thdNPercent : kNotANumber);
             }
             if (rows.empty())
                 call.reply("");
         }},
    });

    // Up to 0.45 of the capture's rate, in the window's 0.01 Hz steps. The
    // query answers the frequency set, which stays when a lower rate plays
    // it clamped (the generator window tells what plays).
    table.addNumber(
        "SOURce:FREQuency",
        [&form, startup](Call&) {
            return std::optional(NumberRange{.minimum = kSynthMinHz,
                                             .maximum = synthMaxHz(form.state().sampleRate),
                                             .byDefault = startup.hz,
                                             .unit = scpi::Unit::Hertz});
        },
        [&g, &form](Call&, double v) {
            g.setFrequency(std::round(v * 100.0) / 100.0);
            showInWindows(form);
        },
        [&g](Call&) { return std::optional(g.settings().hz); });
    table.addNumber("SOURce:VOLTage[:LEVel]", levelRange, setLevel, level);
    table.addNumber("SOURce:LEVel", levelRange, setLevel, level);

    // The sweep's plan, as the sweep window holds it; it stays while a sweep runs.
    const auto planned = [&form, &plan, shown](auto set) {
        return shown([&form, &plan, set](Call& call) {
            if (!form.generatorPanel().generator().sweeping())
                set(call, plan);
            else
                call.fail(scpi::code::kSettingsConflict, "a sweep runs");
        });
    };
    const SweepPlan plannedAtStart;
    for (const PlanNumber& n : kPlanNumbers) {
        table.addNumber(
            n.pattern,
            [n, plannedAtStart](Call&) {
                return std::optional(NumberRange{
                    .minimum = n.low, .maximum = n.high, .byDefault = plannedAtStart.*n.field, .unit = n.unit});
            },
            [planned, n](Call& call, double v) { planned([n, v](Call&, SweepPlan& p) { p.*n.field = v; })(call); },
            [&plan, n](Call&) { return std::optional(plan.*n.field); });
    }
    table.addNumber(
        "SWEep:STEPs",
        [plannedAtStart](Call&) {
            return std::optional(NumberRange{.minimum = kSweepMinStepsPerOctave,
                                             .maximum = kSweepMaxStepsPerOctave,
                                             .byDefault = plannedAtStart.stepsPerOctave,
                                             .unit = scpi::Unit::None});
        },
        [planned](Call& call, double v) {
            planned([v](Call& c, SweepPlan& p) {
                if (v != std::round(v))
                    c.fail(scpi::code::kDataOutOfRange, "steps per octave are whole");
                else
                    p.stepsPerOctave = static_cast<int>(v);
            })(call);
        },
        [&plan](Call&) { return std::optional<double>(plan.stepsPerOctave); });
    table.add({
        {"SWEep:CHANnel", 1, planned([](Call& call, SweepPlan& p) {
             if (const auto ch = call.channel(0))
                 p.channel = *ch;
         })},
        {"SWEep:CHANnel?", 0, [&plan](Call& call) { call.reply(plan.channel == 2 ? "CH2" : "CH1"); }},
    });
    addSweepCommands(table, form);
}

}  // namespace varmolen
