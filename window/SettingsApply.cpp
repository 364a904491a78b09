// The window's side of the settings file: read once at the end of start-up
// and applied field by field, in file order, through the same front-panel
// handlers a user's action runs, so that controls, labels and derived values
// end up as if the user had set them; written once when the window goes.
//
// Controls are set silently (setChecked, setValue, a blocked track bar) and
// their handler is then run by hand; the binding table's rows say which
// control keeps which field and how. While the file is applied
// loadingSettings is 1, so the input and sample-rate handlers neither stop
// nor start acquisition.
#include <QAction>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <string>
#include <string_view>

#include "window/BindingTable.h"
#include "window/Varmolen2.h"
#include "panel/ChannelMath.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/SwitchBase.h"
#include "persist/ConfigFile.h"

namespace varmolen {

namespace {

// A range track bar shows multipliers 0, 1, 10 and 100; any other stored
// value leaves it where it is.
void setRangeTrackBar(QSlider* trackBar, std::int32_t multiplier)
{
    if (const std::optional<int> position = positionFromRange(multiplier)) {
        const QSignalBlocker quiet(trackBar);
        trackBar->setValue(*position);
    }
}

// Gives one field back to the controls that keep it, as their rows say:
// a switch set to what the field holds, a dial turned to it, a range track
// bar put in place, or the item or button that stands for it chosen; then
// the handler, as a user's action runs it.
void applyRows(TScopeForm& form, std::span<const Binding> rows, QObject* sender, ConfigField field)
{
    InstrumentState& s = form.state();
    const std::int32_t value = configFieldValue(s, field);
    const std::vector<const Binding*> keeping = rowsKeeping(rows, field);
    if (keeping.empty())
        return;
    const Binding& first = *keeping.front();
    if (auto* toggle = qobject_cast<SwitchBase*>(first.control)) {
        const bool on = value == first.kept.on;
        toggle->setChecked(on);
        if (first.kept.throughHandler)
            runRow(form, first, sender, Then::Nothing);
        else
            setConfigField(s, field, on ? first.kept.on : first.kept.off);
        return;
    }
    if (auto* dial = qobject_cast<Dial*>(first.control)) {
        dial->setValue(static_cast<float>(value / first.kept.perStep));
        runRow(form, first, sender, Then::Nothing);
        return;
    }
    if (auto* trackBar = qobject_cast<QSlider*>(first.control)) {
        setRangeTrackBar(trackBar, value);
        return;
    }
    // Items and buttons: the one that stands for the value, or the one for
    // any other value.
    if (const Binding* chosen = chosenItem(keeping, value))
        runRow(form, *chosen, sender, Then::Nothing);
}

// Applies one field that storeConfigField has just put into the state.
void applyField(TScopeForm& form, std::span<const Binding> rows, QObject* sender, ConfigField field)
{
    applyRows(form, rows, sender, field);
    InstrumentState& s = form.state();
    switch (field) {
        case ConfigField::displayType:
            // The display type's own gain, range and position go back through
            // the handlers of the channel its item names.
            if (s.displayType == kTimeDisplayType) {
                form.channels().Chan1GainDialClick(sender);
                form.channels().Chan1GainTrackBarChange(sender);
                form.channels().Chan1OffsetDialClick(sender);
            } else {
                form.channels().Chan2GainDialClick(sender);
                form.channels().Chan2GainTrackBarChange(sender);
                form.channels().Chan2OffsetDialClick(sender);
            }
            break;
        case ConfigField::osVariant:
            // The volume-control variant has no control of its own.
            if (s.osVariant == kDesktopVolumeControl)
                form.menus().WindowsXPClick(sender);
            else
                form.menus().Windows2KClick(sender);
            break;
        default:
            // The rest are kept in the state: the colours, the marker
            // columns and the device are used where they are needed, and the
            // display-type command carries the other type's dial copies to
            // the controls.
            break;
    }
}

}  // namespace

namespace {

// A menu item or a switch shown checked or not; nothing runs.
void showChecked(QObject* control, bool checked)
{
    if (auto* item = qobject_cast<QAction*>(control))
        item->setChecked(checked);
    else if (auto* toggle = qobject_cast<SwitchBase*>(control))
        toggle->setChecked(checked);
}

}  // namespace

void showKeptFeatures(std::span<const Binding> rows, const FeatureSettings& f)
{
    const auto sameKey = [](const Binding& a, const Binding& b) {
        return a.kept.feature != nullptr && b.kept.feature != nullptr &&
               std::string_view(a.kept.iniKey) == std::string_view(b.kept.iniKey);
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Binding& row = rows[i];
        // The first row of a key shows the key's items: one of several
        // checked, or a single item checked or not.
        const bool first = std::none_of(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(i),
                                        [&](const Binding& before) { return sameKey(before, row); });
        if (row.kept.feature == nullptr || !first)
            continue;
        std::vector<const Binding*> items;
        for (const Binding& other : rows)
            if (sameKey(other, row))
                items.push_back(&other);
        const std::int32_t value = row.kept.feature(f);
        if (items.size() == 1)
            showChecked(row.control, value == row.kept.on);
        else if (const Binding* chosen = chosenItem(items, value))
            showChecked(chosen->control, true);
    }
}

void TScopeForm::LoadConfiguration(QObject* sender, const char* path)
{
    InstrumentState& s = state();
    s.loadingSettings = 1;
    const std::string file = path != nullptr ? std::string(path) : std::string();
    if (file.empty()) {
        // No settings file at start-up: nothing is read and none is made.
        s.loadingSettings = 0;
        return;
    }

    const ConfigValues startup = captureConfiguration(s);
    const std::optional<ConfigFileContents> contents = readConfigFile(file);
    if (!contents) {
        // There but unreadable: a file of start-up values takes its place.
        saveConfiguration(file, s);
        s.loadingSettings = 0;
        return;
    }

    DecodedConfiguration decoded = decodeConfiguration(contents->view(), startup);
    sanitiseConfiguration(decoded.values);
    const std::vector<Binding> rows = bindingTable(controls_);
    for (const ConfigFieldInfo& info : kConfigFields) {
        storeConfigField(decoded.values, info.field, s);
        applyField(*this, rows, sender, info.field);
    }
    s.loadingSettings = 0;
}

void TScopeForm::applyStartupValues(QObject* sender)
{
    // The start-up values, applied as the settings file is: acquisition
    // stops once, every field goes through its handler, and it starts again
    // in the format that follows. The device in use stays.
    InstrumentState& s = state();
    ConfigValues startup = captureConfiguration(InstrumentSettings{});
    // The record starts without Gain dial positions; the dials start at half.
    startup.chan1TimeGainDial = startup.chan2TimeGainDial = kStartupGainDial;
    startup.chan1FreqGainDial = startup.chan2FreqGainDial = kStartupGainDial;
    StopBtnClick(sender);
    s.loadingSettings = 1;
    const std::vector<Binding> rows = bindingTable(controls_);
    for (const ConfigFieldInfo& info : kConfigFields) {
        if (info.field == ConfigField::waveDeviceId)
            continue;
        storeConfigField(startup, info.field, s);
        if (info.field == ConfigField::timeBaseSetting) {
            // The record starts without a dial position; the dial starts at
            // its full span.
            controls_.timeBase.TimeBaseDial->setValue(static_cast<float>(kStartupTimeDial));
            markers_->TimeBaseDialClick(sender);
            continue;
        }
        applyField(*this, rows, sender, info.field);
    }
    s.loadingSettings = 0;
    menus_->showStateInForce();
    redrawHeldPicture();
    StartBtnClick(sender);
}

void TScopeForm::SaveConfiguration(const char* path)
{
    if (path == nullptr || path[0] == '\0')
        return;
    // Written through a temporary file renamed into place; a failure leaves
    // the previous file as it was and is not reported.
    saveConfiguration(std::string(path), state());
}

}  // namespace varmolen
