#include "window/RemoteCommands.h"

#include <QAction>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "window/BindingTable.h"
#include "window/Menus.h"
#include "window/Varmolen2.h"
#include "acquisition/AcquisitionLoop.h"
#include "audio/SampleRates.h"
#include "display/ReadoutScales.h"
#include "panel/ChannelMath.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/PaintBox.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/SwitchBase.h"
#include "panel/widgets/ToggleSwitch.h"
#include "remote/ScpiSession.h"

namespace varmolen {

namespace {

using scpi::Call;
using scpi::NumberRange;

const char* onOff(bool on) { return on ? "1" : "0"; }

// A marker's column as seconds (TIME display) or hertz (FREQUENCY display).
double columnValue(const InstrumentState& s, std::int32_t columns)
{
    if (s.displayType == kTimeDisplayType)
        return readoutSeconds(s, s, columns);
    return readoutFrequency(s, s, columns);
}

// Carries marker 1 or 2 to a column with the display's keys, as a user does:
// the marker selected, then Left or Right (ten columns with Shift).
void moveMarker(TScopeForm& form, QObject* sender, std::int32_t marker, std::int32_t target)
{
    if (form.markers().keyboardMarker() != marker)
        form.markers().SpectrumBoxKeyDown(sender, Qt::Key_M, Qt::NoModifier);
    const InstrumentState& s = form.state();
    // Each key moves at least one column, or stops: a marker held back by
    // the other one stays where it is.
    for (int guard = 0; guard < 2 * kFullWidth; ++guard) {
        const std::int32_t at = markerColumn(s, marker);
        const std::int32_t left = target - at;
        if (left == 0)
            break;
        const int key = left < 0 ? Qt::Key_Left : Qt::Key_Right;
        form.markers().SpectrumBoxKeyDown(sender, key, std::abs(left) >= 10 ? Qt::ShiftModifier : Qt::NoModifier);
        if (markerColumn(s, marker) == at)
            break;
    }
    form.redrawHeldPicture();
}

// The rows of the binding table that one remote header works, in table
// order; they point into the table the commands keep.
struct HeaderRows {
    std::string header;
    std::vector<const Binding*> rows;
};

std::vector<HeaderRows> remoteHeaders(const std::vector<Binding>& table)
{
    std::vector<HeaderRows> headers;
    for (const Binding& row : table) {
        if (row.remote.header == nullptr)
            continue;
        const auto same = std::find_if(headers.begin(), headers.end(),
                                       [&](const HeaderRows& h) { return h.header == row.remote.header; });
        if (same != headers.end())
            same->rows.push_back(&row);
        else
            headers.push_back({row.remote.header, {&row}});
    }
    return headers;
}

// The row a command's number names (CHAN2, MARK1): the only row of a header
// without one; nothing, with the error reported, for a number beyond them.
const Binding* rowFor(Call& call, const std::vector<const Binding*>& rows)
{
    if (rows.front()->remote.number == 0)
        return rows.front();
    const std::optional<std::int32_t> n = call.suffixUpTo(static_cast<std::int32_t>(rows.size()));
    if (!n)
        return nullptr;
    for (const Binding* row : rows)
        if (row->remote.number == *n)
            return row;
    return nullptr;
}

// A row's own words (the array's leading entries).
std::span<const char* const> wordsOf(const Remote& remote)
{
    const auto end = std::find(remote.choices.begin(), remote.choices.end(), nullptr);
    return {remote.choices.data(), static_cast<std::size_t>(end - remote.choices.begin())};
}

// What runs after a script's setting: the row's own, or the remote's where
// it differs.
Then thenOf(const Binding& row) { return row.remote.then.value_or(row.then); }

// What the script's command works, while the commands exist: the table, the
// window and the sender the handlers are told.
struct Works {
    std::shared_ptr<const std::vector<Binding>> table;
    std::vector<const Binding*> rows;
    TScopeForm* form;
    QObject* sender;
};

// A switch: set on or off, and asked which.
void addSwitch(scpi::CommandTable& table, const Works& w, const std::string& header)
{
    table.add(header, 1, [w](Call& call) {
        const Binding* row = rowFor(call, w.rows);
        if (row == nullptr)
            return;
        std::optional<bool> on;
        if (row->remote.words == Words::OnOff) {
            on = call.boolean(0);
        } else if (row->remote.words == Words::Choice) {
            if (const auto i = call.choice(0, wordsOf(row->remote)))
                on = *i == 0;
        } else if (const auto channel = call.channel(0)) {
            on = *channel == 1;
        }
        if (!on)
            return;
        qobject_cast<SwitchBase*>(row->control)->setChecked(*on);
        runRow(*w.form, *row, w.sender, thenOf(*row));
    });
    // The field the switch keeps, or where it keeps none, its position.
    table.add(header + "?", 0, [w](Call& call) {
        const Binding* row = rowFor(call, w.rows);
        if (row == nullptr)
            return;
        const bool on = row->kept.field ? configFieldValue(w.form->state(), *row->kept.field) == row->kept.on
                                        : qobject_cast<SwitchBase*>(row->control)->isChecked();
        call.reply(row->remote.replies[on ? 0 : 1]);
    });
}

// Items of a menu that stand for the values of one field: one chosen by its
// word (or ON and OFF), and asked which.
void addItems(scpi::CommandTable& table, const Works& w, const std::string& header)
{
    table.add(header, 1, [w](Call& call) {
        const Binding* chosen = nullptr;
        if (w.rows.front()->remote.words == Words::OnOff) {
            if (const auto on = call.boolean(0))
                for (const Binding* row : w.rows)
                    if (row->kept.on == (*on ? 1 : 0))
                        chosen = row;
        } else {
            std::vector<const char*> words;
            for (const Binding* row : w.rows)
                words.push_back(row->remote.choices[0]);
            if (const auto i = call.choice(0, words))
                chosen = w.rows[*i];
        }
        if (chosen != nullptr)
            runRow(*w.form, *chosen, w.sender, thenOf(*chosen));
    });
    table.add(header + "?", 0, [w](Call& call) {
        // An item Varmolen.ini keeps (the spectrogram among the display
        // types) answers while its setting is chosen.
        for (const Binding* row : w.rows)
            if (!row->kept.field && row->kept.feature != nullptr &&
                row->kept.feature(w.form->state().features) == row->kept.on) {
                call.reply(row->remote.replies[0]);
                return;
            }
        const Binding& first = *w.rows.front();
        if (const Binding* row = chosenItem(w.rows, configFieldValue(w.form->state(), *first.kept.field)))
            call.reply(row->remote.replies[0]);
    });
}

// A dial: its value, its range, and its start-up value as the default.
void addDial(scpi::CommandTable& table, const Works& w, const std::string& header)
{
    const auto dialOf = [](const Binding& row) { return qobject_cast<Dial*>(row.control); };
    table.addNumber(
        header,
        [w, dialOf](Call& call) -> std::optional<NumberRange> {
            const Binding* row = rowFor(call, w.rows);
            if (row == nullptr)
                return std::nullopt;
            const Dial* dial = dialOf(*row);
            return NumberRange{.minimum = dial->minimum(),
                               .maximum = dial->maximum(),
                               .byDefault = row->remote.startup(w.form->state(), row->remote.number),
                               .unit = scpi::Unit::None};
        },
        [w, dialOf](Call& call, double v) {
            if (const Binding* row = rowFor(call, w.rows)) {
                dialOf(*row)->setValue(static_cast<float>(v));
                runRow(*w.form, *row, w.sender, thenOf(*row));
            }
        },
        [w, dialOf](Call& call) -> std::optional<double> {
            if (const Binding* row = rowFor(call, w.rows))
                return dialOf(*row)->value();
            return std::nullopt;
        });
}

// The commands that work a control of the binding table as its row says.
void addControlCommands(scpi::CommandTable& table, TScopeForm& form, QObject* sender,
                        const std::shared_ptr<const std::vector<Binding>>& rows)
{
    for (HeaderRows& h : remoteHeaders(*rows)) {
        const Works w{rows, std::move(h.rows), &form, sender};
        const Binding& first = *w.rows.front();
        if (first.remote.words == Words::Number)
            addDial(table, w, h.header);
        else if (qobject_cast<SwitchBase*>(first.control) != nullptr)
            addSwitch(table, w, h.header);
        else
            addItems(table, w, h.header);
    }
}

// The numeric settings beyond the dials: each answers its query with its
// value, or with its minimum, maximum or default (ACQ:SRAT? MAX), and takes
// those words, and units where it has one, as values.
void addNumberSettings(scpi::CommandTable& table, TScopeForm& form, QObject* sender)
{
    InstrumentState& s = form.state();
    const PanelControls& c = form.controls();
    const InstrumentSettings startup;
    table.addNumber(
        "ACQuire:SRATe",
        [startup](Call&) {
            return std::optional(NumberRange{.minimum = static_cast<double>(kSampleRates.front()),
                                             .maximum = static_cast<double>(kSampleRates.back()),
                                             .byDefault = static_cast<double>(startup.sampleRate),
                                             .unit = scpi::Unit::Hertz});
        },
        [&form, c](Call& call, double v) {
            // The Sample Rate menu's item for the rate, as a user would choose
            // it: greyed out when the device cannot record at it.
            form.trigger().showDeviceRates();
            for (QAction* item : c.optionsMenu.SampleRates)
                if (v == item->data().toUInt()) {
                    if (!item->isEnabled()) {
                        call.fail(scpi::code::kSettingsConflict, "the device cannot record at this rate");
                        return;
                    }
                    form.trigger().SampleRateItemClick(item);
                    return;
                }
            call.fail(scpi::code::kIllegalParameterValue, call.parameter(0));
        },
        [&s](Call&) { return std::optional<double>(s.sampleRate); });
    table.addNumber(
        "MARKer#:POSition",
        [startup](Call& call) -> std::optional<NumberRange> {
            const auto marker = call.suffixUpTo(2);
            if (!marker)
                return std::nullopt;
            return NumberRange{.minimum = 0,
                               .maximum = kFullWidth,
                               .byDefault = static_cast<double>(markerColumn(startup, *marker)),
                               .unit = scpi::Unit::None};
        },
        [&form, sender, &s](Call& call, double v) {
            const std::int32_t marker = call.suffix();
            if (!markerOn(s, marker)) {
                call.fail(scpi::code::kSettingsConflict, "marker is off");
                return;
            }
            moveMarker(form, sender, marker, static_cast<std::int32_t>(std::lround(v)));
        },
        [&s](Call& call) -> std::optional<double> {
            if (const auto marker = call.suffixUpTo(2))
                return markerColumn(s, *marker);
            return std::nullopt;
        });
}

}  // namespace

void flip(TScopeForm& form, QObject* sender, const Binding& row, bool on)
{
    qobject_cast<SwitchBase*>(row.control)->setChecked(on);
    runRow(form, row, sender, Then::Nothing);
}

const char* remoteIdentity() { return "Varmolen,Varmolen,0," VARMOLEN_VERSION; }

void addSettingCommands(scpi::CommandTable& table, TScopeForm& form, QObject* sender)
{
    InstrumentState& s = form.state();
    const PanelControls& c = form.controls();
    auto rows = std::make_shared<const std::vector<Binding>>(bindingTable(c));
    // Hold and Single, by their rows (the table outlives the commands).
    const Binding& hold = rowOf(*rows, c.display.DisplayHoldSw);
    const Binding& single = rowOf(*rows, c.display.SingleDisplaySw);

    table.add({
        {"*IDN?", 0, [](Call& call) { call.reply(remoteIdentity()); }},
        // Nothing the generator drives goes on playing (at full scale,
        // perhaps) once the instrument is reset; then every setting of the
        // record goes back to its start-up value.
        {"*RST", 0,
         [&form, sender](Call&) {
             resetGenerator(form);
             // The analyser back at the block's spectrum.
             form.state().features.analyser = AnalyserSettings{};
             form.applyStartupValues(sender);
             form.menus().showAnalyserChoices();
         }},
        // Run control: Hold and Single.
        {"RUN", 0,
         [&form, sender, single, hold](Call&) {
             flip(form, sender, single, false);
             flip(form, sender, hold, false);
         }},
        {"STOP", 0, [&form, sender, hold](Call&) { flip(form, sender, hold, true); }},
        {"SINGle", 0,
         [&form, sender, single, hold](Call&) {
             flip(form, sender, hold, false);
             flip(form, sender, single, true);
         }},
        {"SINGle?", 0, [&s](Call& call) { call.reply(onOff(s.singleSweep == 1)); }},
        // A channel's range track bar: Gnd, x1, x10 or x100.
        {"CHANnel#:RANGe", 1,
         [&form, sender, c, rows](Call& call) {
             const auto channel = call.suffixUpTo(2);
             const auto v = channel ? call.number(0, 0, 100) : std::nullopt;
             if (!v)
                 return;
             const std::optional<int> position = positionFromRange(static_cast<std::int32_t>(std::lround(*v)));
             if (!position || std::abs(*v - std::round(*v)) > 1e-9) {
                 call.fail(scpi::code::kIllegalParameterValue, "range is 0, 1, 10 or 100");
                 return;
             }
             QSlider* range = channelWidgets(c, *channel).range;
             {
                 const QSignalBlocker quiet(range);
                 range->setValue(*position);
             }
             runRow(form, rowOf(*rows, range), sender, Then::Redraw);
         }},
        {"CHANnel#:RANGe?", 0,
         [c](Call& call) {
             if (const auto channel = call.suffixUpTo(2))
                 call.replyNumber(rangeFromPosition(channelWidgets(c, *channel).range->value()).value_or(0));
         }},
        // Time base and sample rate.
        {"TIMebase:SPAN?", 0, [&s](Call& call) { call.replyNumber(columnValue(s, kFullWidth)); }},
        // Markers.
        {"MARKer#:X?", 0,
         [&s](Call& call) {
             if (const auto marker = call.suffixUpTo(2))
                 call.replyNumber(columnValue(s, markerColumn(s, *marker)));
         }},
        // Blocks completed and drawn since the start: every block is drawn
        // unless the display is held.
        {"SYSTem:BLOCks?", 0,
         [&form](Call& call) {
             call.replyNumber(static_cast<double>(form.acquisition().blocksCompleted()));
             call.replyNumber(static_cast<double>(form.acquisition().blocksDrawn()));
         }},
        {"MARKer:DIFFerence?", 0,
         [&s](Call& call) { call.replyNumber(columnValue(s, std::abs(s.marker2Pos - s.marker1Pos))); }},
    });
    // The switches, dials and items of the binding table that a remote
    // command works: HOLD, CHANnel#:DISPlay, TRIGger, TRACe, DISPlay:TYPE
    // and GRID, MARKer#, INPut, CHANnel#:GAIN and POSition, TRIGger:LEVel
    // and TIMebase[:DIAL].
    addControlCommands(table, form, sender, rows);
    addNumberSettings(table, form, sender);
    addTimeBaseCommands(table, form, sender, rows);
    addSpectrumCommands(table, form, rows);
}

}  // namespace varmolen
