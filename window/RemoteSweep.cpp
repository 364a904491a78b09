// The log sweep's remote commands: its kind, length, reference and
// smoothing as the sweep window sets them, and its results (the impulse
// response, the harmonic responses) and files (SAVE and LOAD, plain names of
// the remote files folder only, as RECord's). SWEep:RUN, ABORt, STATe? and
// DATA? serve both kinds (window/RemoteGenerator.cpp).
#include <QFileInfo>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include "acquisition/GeneratorControl.h"
#include "remote/ScpiSession.h"
#include "state/InstrumentState.h"
#include "window/GeneratorPanel.h"
#include "window/RemoteCommands.h"
#include "window/SweepWindow.h"
#include "window/Varmolen2.h"

namespace varmolen {

using scpi::Call;
using scpi::NumberRange;

namespace {

// The words SWEep:TYPE and SWEep:REFerence take, in the settings' order.
constexpr const char* kTypeWords[] = {"STEPped", "LOG"};
constexpr const char* kTypeAnswers[] = {"STEP", "LOG"};
constexpr const char* kReferenceWords[] = {"NONE", "CH2", "SAVed"};
constexpr const char* kReferenceAnswers[] = {"NONE", "CH2", "SAV"};
constexpr const char* kSweepFileExtension = ".txt";

// The open sweep window shows the options and results as they are now.
void showInWindow(TScopeForm& form)
{
    if (SweepWindow* w = form.generatorPanel().sweepWindow()) {
        w->load();
        w->showRows();
    }
}

// The smoothing a fraction of an octave names: 0, or 1/N for one of the
// offered N; nothing for any other fraction.
std::optional<std::int32_t> smoothingOf(double octaves)
{
    if (octaves == 0.0)
        return 0;
    if (!(octaves > 0.0))
        return std::nullopt;
    for (const std::int32_t n : kSweepSmoothings)
        if (n != 0 && std::abs(octaves * n - 1.0) < 0.01)
            return n;
    return std::nullopt;
}

// The last log sweep's result, or the reason there is none (an error for the client).
std::shared_ptr<const LogSweepResult> measuredLogSweep(GeneratorControl& g, Call& call)
{
    std::shared_ptr<const LogSweepResult> r = g.logSweepResult();
    if (!r || !r->valid) {
        call.fail(scpi::code::kSettingsConflict,
                  r ? "the last log sweep failed: " + r->whyNot : std::string("no log sweep has been measured"));
        return nullptr;
    }
    return r;
}

// The saved-measurement file the call's name gives in the remote files
// folder, to create or to read; empty, the client told why, when it is none.
QString sweepFile(TScopeForm& form, Call& call, RemoteFileUse use)
{
    const auto name = call.string(0);
    if (!name)
        return {};
    int error = scpi::code::kNoError;
    std::string whyNot;
    const QString file = remoteFolderFile(form.state().features, *name, kSweepFileExtension, use, error, whyNot);
    if (file.isEmpty())
        call.fail(error, whyNot);
    return file;
}

}  // namespace

void addSweepCommands(scpi::CommandTable& table, TScopeForm& form)
{
    GeneratorPanel& panel = form.generatorPanel();
    GeneratorControl& g = panel.generator();
    FeatureSettings& f = form.state().features;
    // Options change only between sweeps, as the plan's do.
    const auto option = [&form, &g](auto set) {
        return [&form, &g, set](Call& call) {
            if (g.sweeping()) {
                call.fail(scpi::code::kSettingsConflict, "a sweep runs");
                return;
            }
            set(call);
            showInWindow(form);
        };
    };
    table.add({
        {"SWEep:TYPE", 1, option([&f](Call& call) {
             if (const auto i = call.choice(0, kTypeWords))
                 f.sweepType = static_cast<std::int32_t>(*i);
         })},
        {"SWEep:TYPE?", 0, [&f](Call& call) { call.reply(kTypeAnswers[f.sweepType == kLogSweep ? 1 : 0]); }},
        {"SWEep:REFerence", 1, option([&f](Call& call) {
             if (const auto i = call.choice(0, kReferenceWords))
                 f.sweepReference = static_cast<std::int32_t>(*i);
         })},
        {"SWEep:REFerence?", 0,
         [&f](Call& call) { call.reply(kReferenceAnswers[static_cast<std::size_t>(f.sweepReference)]); }},
        // The log sweep's points as frequency, magnitude and phase are read
        // through SWEep:DATA?; here its impulse response as one block of
        // little-endian 32-bit floats, time zero at the reported delay
        // less the lead the first value has.
        {"SWEep:IMPulse?", 0,
         [&g](Call& call) {
             const auto r = measuredLogSweep(g, call);
             if (!r)
                 return;
             if (4.0 * static_cast<double>(r->impulse.size()) + 16 > scpi::kMaxAnswerBytes) {
                 call.fail(scpi::code::kTooMuchData, std::to_string(r->impulse.size()) + " values");
                 return;
             }
             std::string bytes;
             bytes.reserve(4 * r->impulse.size());
             for (const float v : r->impulse) {
                 const auto u = std::bit_cast<std::uint32_t>(v);
                 for (int b = 0; b < 4; ++b)
                     bytes.push_back(static_cast<char>((u >> (8 * b)) & 0xff));
             }
             call.replyBlock(bytes);
         }},
        // The k-th harmonic's response (k = 2..5): pairs of the fundamental's
        // frequency and the harmonic's level in dB relative to it.
        {"SWEep:HARMonic?", 1,
         [&g](Call& call) {
             const auto k = call.number(0, 2, 5);
             if (!k)
                 return;
             if (*k != std::round(*k)) {
                 call.fail(scpi::code::kDataOutOfRange, "a harmonic's number is whole, 2 to 5");
                 return;
             }
             const auto r = measuredLogSweep(g, call);
             if (!r)
                 return;
             const std::vector<HarmonicPoint>& h = r->harmonics[static_cast<std::size_t>(*k) - 2];
             for (const HarmonicPoint& p : h) {
                 call.replyNumber(p.hz);
                 call.replyNumber(p.levelDb);
             }
             if (h.empty())
                 call.reply("");
         }},
        {"SWEep:DELay?", 0,
         [&g](Call& call) {
             if (const auto r = measuredLogSweep(g, call))
                 call.replyNumber(r->delaySeconds);
         }},
        // The last log sweep, as measured, into a new file of the remote
        // files folder.
        {"SWEep:SAVE", 1,
         [&form, &panel](Call& call) {
             const QString file = sweepFile(form, call, RemoteFileUse::Create);
             std::string whyNot;
             SavedResponse response;
             if (file.isEmpty()) {
                 return;
             } else if (!panel.lastLogSweep(response, whyNot)) {
                 call.fail(scpi::code::kSettingsConflict, whyNot);
                 return;
             }
             response.name = QFileInfo(file).completeBaseName().toStdString();
             if (!panel.saveSweep(response, file, whyNot))
                 call.fail(scpi::code::kMassStorageError, whyNot);
         }},
        // A saved measurement of the remote files folder: kept for
        // comparison, and the reference SWEep:REFerence SAVed divides by.
        {"SWEep:LOAD", 1,
         [&form, &panel](Call& call) {
             const QString file = sweepFile(form, call, RemoteFileUse::Read);
             std::string whyNot;
             if (file.isEmpty())
                 return;
             if (!panel.loadSweep(file, true, whyNot))
                 call.fail(scpi::code::kFileNameError, whyNot);
             showInWindow(form);
         }},
    });
    table.addNumber(
        "SWEep:TIME",
        [](Call&) {
            return std::optional(NumberRange{.minimum = kLogSweepMinSeconds,
                                             .maximum = kLogSweepMaxSeconds,
                                             .byDefault = kSweepSecondsDefault,
                                             .unit = scpi::Unit::Second});
        },
        [option, &f](Call& call, double v) { option([v, &f](Call&) { f.sweepSeconds = v; })(call); },
        [&f](Call&) { return std::optional(f.sweepSeconds); });
    table.addNumber(
        "SWEep:SMOothing",
        [](Call&) {
            return std::optional(
                NumberRange{.minimum = 0.0, .maximum = 1.0 / 3.0, .byDefault = 0.0, .unit = scpi::Unit::None});
        },
        [option, &f](Call& call, double v) {
            option([v, &f](Call& c) {
                if (const auto n = smoothingOf(v))
                    f.sweepSmoothing = *n;
                else
                    c.fail(scpi::code::kDataOutOfRange, "0, or 1/48, 1/24, 1/12, 1/6 or 1/3 of an octave");
            })(call);
        },
        [&f](Call&) { return std::optional(f.sweepSmoothing == 0 ? 0.0 : 1.0 / f.sweepSmoothing); });
}

}  // namespace varmolen
