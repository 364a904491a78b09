// Display > Time/Div: the time base in seconds a division, which shows
// pictures of the record of everything recorded instead of the Time dial's
// picture of one block; Roll and the trigger's sweep for those pictures.
// The Time dial and the three rate buttons put the view back on the block.
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QStandardItemModel>

#include <algorithm>
#include <vector>

#include "dsp/TimeBase.h"
#include "state/InstrumentSettings.h"
#include "window/RecordTimeBase.h"
#include "window/TriggerControls.h"

namespace varmolen {

namespace {

// The steps the rate in force offers with a record of the settings' seconds.
bool offered(const InstrumentSettings& s, double perDiv)
{
    const std::vector<double> steps = timeBaseSteps(s.sampleRate, s.features.memorySeconds);
    return std::any_of(steps.begin(), steps.end(), [perDiv](double step) { return sameTimeBaseStep(perDiv, step); });
}

}  // namespace

void TriggerControls::TimeDivItemClick(QObject* sender)
{
    const auto* item = qobject_cast<const QAction*>(sender);
    const double perDiv = item != nullptr ? item->data().toDouble() : 0.0;
    if (perDiv > 0.0 && !offered(settings_, perDiv)) {
        showTimeBaseSteps();  // the item in force stays checked
        return;
    }
    settings_.features.timePerDiv = perDiv > 0.0 ? perDiv : 0.0;
    showTimeBaseSteps();
}

void TriggerControls::TimeDivBoxChange(QObject* /*sender*/)
{
    const QComboBox* box = controls_.timeBase.TimeDivBox;
    const int index = box->currentIndex();
    const DisplayMenu& menu = controls_.displayMenu;
    TimeDivItemClick(index >= 1 && index <= kTimeBaseStepCount ? menu.TimeDivs[static_cast<std::size_t>(index - 1)]
                                                               : menu.TimeDial1);
}

void TriggerControls::TimeBaseModeItemClick(QObject* sender)
{
    const auto* item = qobject_cast<const QAction*>(sender);
    const int mode = item != nullptr ? item->data().toInt() : kAutoTimeBase;
    settings_.features.timeBaseMode = mode == kMainTimeBase || mode == kRollTimeBase ? mode : kAutoTimeBase;
    showTimeBaseSteps();
}

void TriggerControls::SweepAuto1Click(QObject* /*sender*/)
{
    settings_.features.triggerSweep = kAutoSweep;
    showTimeBaseSteps();
}

void TriggerControls::SweepNormal1Click(QObject* /*sender*/)
{
    settings_.features.triggerSweep = kNormalSweep;
    showTimeBaseSteps();
}

void TriggerControls::TriggerPositionItemClick(QObject* sender)
{
    if (const auto* item = qobject_cast<const QAction*>(sender))
        settings_.features.triggerPosition = std::clamp(item->data().toDouble(), 0.0, 1.0);
    showTimeBaseSteps();
}

void TriggerControls::HoldoffItemClick(QObject* sender)
{
    if (const auto* item = qobject_cast<const QAction*>(sender))
        settings_.features.holdoffSeconds = std::clamp(item->data().toDouble(), 0.0, kHoldoffMaxSeconds);
    showTimeBaseSteps();
}

void TriggerControls::showTimeBaseSteps() { varmolen::showTimeBaseSteps(settings_, controls_); }

void TriggerControls::showBlockPicture() { varmolen::showBlockPicture(settings_, controls_); }

void showTimeBaseSteps(const InstrumentSettings& settings, const PanelControls& controls)
{
    const DisplayMenu& menu = controls.displayMenu;
    QComboBox* box = controls.timeBase.TimeDivBox;
    const auto* list = qobject_cast<const QStandardItemModel*>(box->model());
    const double perDiv = settings.features.timePerDiv;
    menu.TimeDial1->setChecked(!(perDiv > 0.0));
    int chosen = 0;
    for (std::size_t i = 0; i < menu.TimeDivs.size(); ++i) {
        QAction* item = menu.TimeDivs[i];
        const double step = item->data().toDouble();
        const bool enabled = offered(settings, step);
        item->setEnabled(enabled);
        if (list != nullptr)
            list->item(static_cast<int>(i) + 1)->setEnabled(enabled);
        if (sameTimeBaseStep(perDiv, step)) {
            item->setChecked(true);
            chosen = static_cast<int>(i) + 1;
        }
    }
    box->setCurrentIndex(chosen);
    const std::int32_t mode = settings.features.timeBaseMode;
    (mode == kMainTimeBase ? menu.RollMain1 : mode == kRollTimeBase ? menu.Roll1 : menu.RollAuto1)->setChecked(true);
    (settings.features.triggerSweep == kNormalSweep ? menu.SweepNormal1 : menu.SweepAuto1)->setChecked(true);
    const int position = presetIndex(kTriggerPositions, settings.features.triggerPosition);
    for (std::size_t i = 0; i < menu.TriggerPositions.size(); ++i)
        menu.TriggerPositions[i]->setChecked(static_cast<int>(i) == position);
    const int holdoff = presetIndex(kHoldoffs, settings.features.holdoffSeconds);
    for (std::size_t i = 0; i < menu.Holdoffs.size(); ++i)
        menu.Holdoffs[i]->setChecked(static_cast<int>(i) == holdoff);
}

void showBlockPicture(InstrumentSettings& settings, const PanelControls& controls)
{
    // While the settings are applied the dial and buttons only restore the
    // record's values: the time base of Varmolen.ini stays.
    if (settings.loadingSettings != 0 || !(settings.features.timePerDiv > 0.0))
        return;
    settings.features.timePerDiv = 0.0;
    showTimeBaseSteps(settings, controls);
}

void TriggerControls::fitTimeBaseToRate()
{
    const double perDiv = settings_.features.timePerDiv;
    if (!(perDiv > 0.0) || offered(settings_, perDiv))
        return;
    // The nearest step the new rate offers: a finer one where the old was too
    // short, the longest where it was too long.
    const std::vector<double> steps = timeBaseSteps(settings_.sampleRate, settings_.features.memorySeconds);
    if (steps.empty()) {
        settings_.features.timePerDiv = 0.0;
    } else {
        settings_.features.timePerDiv = perDiv < steps.front() ? steps.front() : steps.back();
    }
    showTimeBaseSteps();
}

}  // namespace varmolen
