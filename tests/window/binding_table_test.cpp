// The binding table against the window it binds: every control and menu
// item the panel builder made has a row for each signal a user's action
// emits, exactly one, and the table binds nothing that is not on the window;
// every setting a row keeps is kept by one control (or one set of items),
// and every remote header a row names works its control.
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QRadioButton>
#include <QSlider>
#include <QSettings>
#include <QTimer>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "PanelFormRig.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/PaintBox.h"
#include "panel/widgets/SwitchBase.h"
#include "window/BindingTable.h"
#include "window/RemoteControl.h"
#include "persist/FeatureSettingsFile.h"
#include "remote/ScpiSession.h"
#include "remote/net/RemoteServer.h"

namespace varmolen::test {
namespace {

using BindingTableTest = PanelFormRig;

const char* signalName(Signal signal)
{
    switch (signal) {
        case Signal::Clicked:
            return "clicked";
        case Signal::ValueChanged:
            return "valueChanged";
        case Signal::Triggered:
            return "triggered";
        case Signal::Timeout:
            return "timeout";
        case Signal::MousePressed:
            return "mousePressed";
        case Signal::MouseMoved:
            return "mouseMoved";
        case Signal::MouseReleased:
            return "mouseReleased";
        case Signal::MouseLeft:
            return "mouseLeft";
        case Signal::KeyPressed:
            return "keyPressed";
        case Signal::KeyboardEntered:
            return "keyboardEntered";
    }
    return "?";
}

// The signals a user's action (or, for the two run timers, time) emits on
// each kind of control the window has.
std::vector<Signal> userSignals(QObject* control)
{
    if (qobject_cast<Dial*>(control) != nullptr)
        return {Signal::Clicked, Signal::ValueChanged};
    if (qobject_cast<SwitchBase*>(control) != nullptr || qobject_cast<QRadioButton*>(control) != nullptr)
        return {Signal::Clicked};
    if (qobject_cast<QSlider*>(control) != nullptr || qobject_cast<QComboBox*>(control) != nullptr)
        return {Signal::ValueChanged};
    if (qobject_cast<TPaintBox*>(control) != nullptr)
        return {Signal::MousePressed, Signal::MouseMoved, Signal::MouseReleased,
                Signal::MouseLeft,    Signal::KeyPressed, Signal::KeyboardEntered};
    if (qobject_cast<QAction*>(control) != nullptr)
        return {Signal::Triggered};
    if (qobject_cast<QTimer*>(control) != nullptr)
        return {Signal::Timeout};
    return {};
}

TEST_F(BindingTableTest, EveryControlAndMenuItemIsBoundOnceForEachSignalOfAUsersAction)
{
    // What the window holds: the panel's controls, the menu items (not the
    // entries that open a submenu, nor separators) and the run timers.
    std::vector<QObject*> controls;
    for (QWidget* w : form->findChildren<QWidget*>())
        if (qobject_cast<Dial*>(w) || qobject_cast<SwitchBase*>(w) || qobject_cast<QRadioButton*>(w) ||
            qobject_cast<QSlider*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<TPaintBox*>(w))
            controls.push_back(w);
    for (QAction* item : form->findChildren<QAction*>())
        if (item->menu() == nullptr && !item->isSeparator() && !item->associatedObjects().isEmpty())
            controls.push_back(item);
    controls.push_back(form->controls().run.StartTimer);
    controls.push_back(form->controls().run.TimeoutTimer);
    // Enough to be the whole panel: a builder that lost its widgets would
    // pass a walk of nothing (the panel has 71).
    ASSERT_GE(controls.size(), 71u);

    std::map<std::pair<QObject*, Signal>, int> rows;
    for (const Binding& row : bindingTable(form->controls()))
        ++rows[{row.control, row.signal}];

    std::set<std::pair<QObject*, Signal>> expected;
    for (QObject* control : controls) {
        const std::vector<Signal> kinds = userSignals(control);
        ASSERT_FALSE(kinds.empty()) << control->objectName().toStdString();
        for (Signal signal : kinds) {
            expected.insert({control, signal});
            const auto found = rows.find({control, signal});
            EXPECT_EQ(found == rows.end() ? 0 : found->second, 1)
                << control->objectName().toStdString() << " " << signalName(signal);
        }
    }
    for (const auto& [key, count] : rows)
        EXPECT_TRUE(expected.count(key) == 1)
            << "a row binds " << (key.first != nullptr ? key.first->objectName().toStdString() : "nothing") << " "
            << signalName(key.second) << ", which the window does not offer a user";
}

TEST_F(BindingTableTest, EachKeptSettingHasOneControlAndEachRemoteHeaderWorksItsControl)
{
    const std::vector<Binding> rows = bindingTable(form->controls());

    // The record: one switch, dial or track bar a field, or a set of items
    // each standing for its own value, at most one of them for any other.
    std::set<std::string> withoutControl;
    for (const ConfigFieldInfo& info : kConfigFields) {
        const std::vector<const Binding*> keeping = rowsKeeping(rows, info.field);
        const std::string name(info.name);
        if (keeping.empty()) {
            withoutControl.insert(name);
            continue;
        }
        const bool items = qobject_cast<QAction*>(keeping.front()->control) != nullptr ||
                           qobject_cast<QRadioButton*>(keeping.front()->control) != nullptr;
        if (!items) {
            EXPECT_EQ(keeping.size(), 1u) << name;
            continue;
        }
        std::set<std::int32_t> values;
        int otherwise = 0;
        for (const Binding* row : keeping) {
            EXPECT_TRUE(values.insert(row->kept.on).second) << name << " has two items for " << row->kept.on;
            otherwise += row->kept.otherwise ? 1 : 0;
        }
        EXPECT_LE(otherwise, 1) << name;
    }
    // The fields no control shows: the other display type's copies of the
    // dials, the colours, the marker columns, the volume-control variant and
    // the device.
    const std::set<std::string> expected{"chan1FreqRange",  "chan2FreqRange",  "chan1TimeGainDial", "chan2TimeGainDial",
                                         "chan1TimeOffset", "chan2TimeOffset", "chan1FreqGainDial", "chan2FreqGainDial",
                                         "chan1FreqOffset", "chan2FreqOffset", "chan1Color",        "chan2Color",
                                         "marker1Pos",      "marker2Pos",      "osVariant",         "waveDeviceId"};
    EXPECT_EQ(withoutControl, expected);

    // Varmolen.ini: every key a row names is one the file is written with
    // (once the user chose a rate of the menu, the labels and the time base).
    const QString ini = installDir.path() + QStringLiteral("/written.ini");
    FeatureSettings chosen;
    chosen.sampleRate = 48000;
    chosen.recordFormat = RecordFormat::Pcm24;
    chosen.axisLabels = kAxisLabelsOn;
    chosen.timePerDiv = 0.002;
    chosen.timeBaseMode = kRollTimeBase;
    chosen.triggerSweep = kNormalSweep;
    chosen.triggerPosition = 0.25;
    chosen.holdoffSeconds = 0.1;
    chosen.precision = kPrecisionFloat;
    chosen.analyser = {.length = 2048,
                       .window = AnalysisWindow::Hann,
                       .logFrequency = true,
                       .unit = kDbvUnit,
                       .topDb = -20.0,
                       .rangeDb = 60.0,
                       .bands = 3,
                       .weighting = Weighting::A,
                       .spectrogram = true};
    ASSERT_TRUE(writeFeatureSettings(ini, chosen));
    const QStringList written = QSettings(ini, QSettings::IniFormat).allKeys();
    for (const Binding& row : rows) {
        if (row.kept.iniKey != nullptr) {
            EXPECT_TRUE(written.contains(QString::fromLatin1(row.kept.iniKey))) << row.kept.iniKey;
        }
    }

    // Remote control: each header sets its control and reads it back.
    scpi::Session session(remoteServerOf(*form).table());
    const auto send = [&session](const std::string& line) { return session.handleLine(line); };
    int headers = 0;
    for (const Binding& row : rows) {
        if (row.remote.header == nullptr)
            continue;
        ++headers;
        std::string header = row.remote.header;
        if (const auto hash = header.find('#'); hash != std::string::npos)
            header.replace(hash, 1, std::to_string(row.remote.number));
        if (const auto optional = header.find('['); optional != std::string::npos)
            header.erase(optional, header.find(']') - optional + 1);
        const std::string name = row.control->objectName().toStdString() + " (" + header + ")";
        if (auto* toggle = qobject_cast<SwitchBase*>(row.control)) {
            for (const bool on : {true, false, true}) {
                const char* word = row.remote.words == Words::OnOff     ? (on ? "ON" : "OFF")
                                   : row.remote.words == Words::Channel ? (on ? "CH1" : "CH2")
                                   : on                                 ? row.remote.choices[0]
                                                                        : row.remote.choices[1];
                send(header + " " + word);
                EXPECT_EQ(toggle->isChecked(), on) << name << " " << word;
                EXPECT_EQ(send(header + "?"), std::string(row.remote.replies[on ? 0 : 1]) + "\n") << name;
            }
        } else if (auto* dial = qobject_cast<Dial*>(row.control)) {
            send(header + " MAX");
            EXPECT_EQ(dial->value(), dial->maximum()) << name;
            EXPECT_EQ(std::stod(send(header + "?")), dial->maximum()) << name;
        } else {
            const std::string word =
                row.remote.words == Words::OnOff ? (row.kept.on == 1 ? "ON" : "OFF") : row.remote.choices[0];
            send(header + " " + word);
            EXPECT_EQ(send(header + "?"), std::string(row.remote.replies[0]) + "\n") << name;
        }
        EXPECT_EQ(send("SYSTem:ERRor?"), "0,\"No error\"\n") << name;
    }
    EXPECT_GE(headers, 20);
}

}  // namespace
}  // namespace varmolen::test
