// The remote commands of the time base in seconds a division over the
// record of everything recorded: TIMebase:SCALe, POSition and MODE,
// TRIGger:SWEep, HOLDoff and FORCe, and DIGitize. Each works the Time/Div
// menu's item a user would choose, so the window shows what a script did.
#include <QAction>

#include <algorithm>
#include <cmath>
#include <vector>

#include "window/BindingTable.h"
#include "window/RemoteCommands.h"
#include "window/Varmolen2.h"
#include "display/ReadoutScales.h"
#include "display/RecordTraces.h"
#include "dsp/TimeBase.h"
#include "panel/widgets/RockerSwitch.h"
#include "remote/ScpiSession.h"

namespace varmolen {

namespace {

using scpi::Call;
using scpi::NumberRange;

// The step offered now nearest to `perDiv` on the 1-2-5 scale (its
// logarithm); nothing where no step is offered.
std::optional<double> nearestStep(const std::vector<double>& steps, double perDiv)
{
    if (steps.empty() || !(perDiv > 0.0))
        return std::nullopt;
    const double target = std::log(perDiv);
    return *std::min_element(steps.begin(), steps.end(), [target](double a, double b) {
        return std::abs(std::log(a) - target) < std::abs(std::log(b) - target);
    });
}

// The seconds a division shown now: the time base's, or the block picture's
// tenth of its span.
double shownPerDiv(const InstrumentState& s)
{
    if (recordPictureShown(s))
        return recordPerDiv(s, s);  // a held picture's own
    return readoutSeconds(s, s, kFullWidth) / kTimeBaseDivisions;
}

}  // namespace

void addTimeBaseCommands(scpi::CommandTable& table, TScopeForm& form, QObject* sender,
                         const std::shared_ptr<const std::vector<Binding>>& rows)
{
    InstrumentState& s = form.state();
    const PanelControls& c = form.controls();
    const DisplayMenu& menu = c.displayMenu;
    const Binding& hold = rowOf(*rows, c.display.DisplayHoldSw);
    const Binding& single = rowOf(*rows, c.display.SingleDisplaySw);
    // A menu item chosen as a user chooses it: its row, told the item.
    const auto choose = [&form, rows](QAction* item) { runRow(form, rowOf(*rows, item), item, Then::Redraw); };

    // Seconds a division: a value between two steps takes the nearest one
    // the rate and the record offer. DEFault (0) goes back to the picture of
    // one block, whose time a division the query then reads.
    table.addNumber(
        "TIMebase:SCALe",
        [&s](Call&) -> std::optional<NumberRange> {
            const std::vector<double> steps = timeBaseSteps(s.sampleRate, s.features.memorySeconds);
            if (steps.empty())
                return NumberRange{.minimum = 0, .maximum = 0, .byDefault = 0.0, .unit = scpi::Unit::Second};
            return NumberRange{
                .minimum = steps.front(), .maximum = steps.back(), .byDefault = 0.0, .unit = scpi::Unit::Second};
        },
        [&s, menu, choose](Call& call, double v) {
            if (v == 0.0) {
                choose(menu.TimeDial1);
                return;
            }
            const std::optional<double> step = nearestStep(timeBaseSteps(s.sampleRate, s.features.memorySeconds), v);
            for (QAction* item : menu.TimeDivs)
                if (step && sameTimeBaseStep(item->data().toDouble(), *step)) {
                    choose(item);
                    return;
                }
            call.fail(scpi::code::kSettingsConflict, "no time a division is offered at this rate");
        },
        [&s](Call&) { return std::optional<double>(shownPerDiv(s)); });
    // The part of the span before the trigger point.
    table.addNumber(
        "TIMebase:POSition",
        [](Call&) { return std::optional(NumberRange{.minimum = 0.0, .maximum = 1.0, .byDefault = 0.0}); },
        [&form, &s](Call&, double v) {
            s.features.triggerPosition = v;
            form.recordSweep().restart();
        },
        [&s](Call&) { return std::optional<double>(s.features.triggerPosition); });
    table.addNumber(
        "TRIGger:HOLDoff",
        [](Call&) {
            return std::optional(NumberRange{
                .minimum = 0.0, .maximum = kHoldoffMaxSeconds, .byDefault = 0.0, .unit = scpi::Unit::Second});
        },
        [&s](Call&, double v) { s.features.holdoffSeconds = v; },
        [&s](Call&) { return std::optional<double>(s.features.holdoffSeconds); });
    table.add({
        {"TIMebase:MODE", 1,
         [menu, choose](Call& call) {
             if (const auto i = call.choice(0, {"AUTO", "MAIN", "ROLL"}))
                 choose(*i == 1 ? menu.RollMain1 : *i == 2 ? menu.Roll1 : menu.RollAuto1);
         }},
        {"TIMebase:MODE?", 0,
         [&s](Call& call) {
             const std::int32_t mode = s.features.timeBaseMode;
             call.reply(mode == kMainTimeBase ? "MAIN" : mode == kRollTimeBase ? "ROLL" : "AUTO");
         }},
        // Auto and Normal are the menu's; Single is the panel's switch.
        {"TRIGger:SWEep", 1,
         [&form, sender, menu, choose, hold, single](Call& call) {
             const auto i = call.choice(0, {"AUTO", "NORMal", "SINGle"});
             if (!i)
                 return;
             flip(form, sender, hold, false);
             flip(form, sender, single, false);
             if (*i == 2)
                 flip(form, sender, single, true);
             else
                 choose(*i == 0 ? menu.SweepAuto1 : menu.SweepNormal1);
         }},
        {"TRIGger:SWEep?", 0,
         [&s](Call& call) {
             call.reply(s.singleSweep == 1 ? "SING" : s.features.triggerSweep == kNormalSweep ? "NORM" : "AUTO");
         }},
        // The next picture shows the newest span, trigger point or not (a
        // picture of one block is drawn each block anyway).
        {"TRIGger:FORCe", 0, [&form](Call&) { form.recordSweep().force(); }},
        // One new acquisition of the span, then the display holds it: a
        // single sweep that Auto may also end untriggered. *OPC? answers
        // once it is held.
        {"DIGitize", 0,
         [&form, sender, hold, single](Call&) {
             flip(form, sender, hold, false);
             flip(form, sender, single, false);
             form.recordSweep().armUntriggeredSingle();
             flip(form, sender, single, true);
         }},
    });
}

}  // namespace varmolen
