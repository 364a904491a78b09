// The spectrum analyser's menu items: Display > Type > Spectrogram, and in
// Display > Spectrum the transform's length and window, the frequency and
// level axes, the octave bands and their weighting. Each item holds the
// setting it chooses as its data; a setting the items do not offer (from
// Varmolen.ini or a script) leaves them all unchecked.
#include <QAction>

#include <algorithm>
#include <span>

#include "panel/PanelControls.h"
#include "window/MarkerControls.h"
#include "window/Menus.h"
#include "window/Varmolen2.h"

namespace varmolen {

namespace {

QAction* itemOf(QObject* sender) { return qobject_cast<QAction*>(sender); }

// Checks the item of `items` whose data is `value`, none when no item is.
template <typename T>
void checkItemFor(std::span<QAction* const> items, T value)
{
    for (QAction* a : items)
        a->setChecked(a->data().value<T>() == value);
}

}  // namespace

void MenuCommands::showAnalyserChoices()
{
    AnalyserSettings& a = settings_.features.analyser;
    const DisplayMenu& d = controls_.displayMenu;
    if (a.spectrogram && settings_.displayType != kFrequencyDisplayType)
        a.spectrogram = false;  // the record's TIME display is in force
    if (a.spectrogram) {
        d.Spectrogram1->setChecked(true);
        status_.setText(0, QStringLiteral("Display = SPECTROGRAM"));
    }
    checkItemFor<int>(d.SpectrumLengths, a.length);
    checkItemFor<int>(d.SpectrumWindows, static_cast<int>(a.window));
    (a.logFrequency ? d.FrequencyLog1 : d.FrequencyLinear1)->setChecked(true);
    checkItemFor<int>(d.LevelUnits, a.unit);
    checkItemFor<double>(d.LevelTops, a.topDb);
    checkItemFor<double>(d.LevelRanges, a.rangeDb);
    checkItemFor<int>(d.OctaveBands, a.bands);
    checkItemFor<int>(d.Weightings, static_cast<int>(a.weighting));
}

void MenuCommands::Spectrogram1Click(QObject* sender)
{
    FFT1Click(sender);
    settings_.features.analyser.spectrogram = true;
    showAnalyserChoices();
    window_.markers().UpdateTimeBase();
}

void MenuCommands::SpectrumLengthItemClick(QObject* sender)
{
    if (QAction* item = itemOf(sender); item != nullptr) {
        const int length = item->data().toInt();
        if (isAnalysisLength(length))
            settings_.features.analyser.length = length;
    }
    showAnalyserChoices();
    window_.markers().UpdateTimeBase();
}

void MenuCommands::SpectrumWindowItemClick(QObject* sender)
{
    if (QAction* item = itemOf(sender); item != nullptr)
        settings_.features.analyser.window =
            static_cast<AnalysisWindow>(std::clamp(item->data().toInt(), 0, kAnalysisWindowCount - 1));
    showAnalyserChoices();
}

void MenuCommands::FrequencyScaleItemClick(QObject* sender)
{
    if (QAction* item = itemOf(sender); item != nullptr)
        settings_.features.analyser.logFrequency = item->data().toInt() == 1;
    showAnalyserChoices();
    window_.markers().UpdateTimeBase();
}

void MenuCommands::FullRange1Click(QObject* /*sender*/)
{
    settings_.features.analyser.startHz = 0.0;
    settings_.features.analyser.stopHz = 0.0;
    window_.markers().UpdateTimeBase();
}

void MenuCommands::LevelUnitItemClick(QObject* sender)
{
    if (QAction* item = itemOf(sender); item != nullptr)
        settings_.features.analyser.unit = std::clamp(item->data().toInt(), 0, kLevelUnitCount - 1);
    showAnalyserChoices();
    window_.markers().UpdateTimeBase();
}

void MenuCommands::LevelTopItemClick(QObject* sender)
{
    if (QAction* item = itemOf(sender); item != nullptr)
        settings_.features.analyser.topDb = std::clamp(item->data().toDouble(), kLevelTopMin, kLevelTopMax);
    showAnalyserChoices();
    window_.markers().UpdateTimeBase();
}

void MenuCommands::LevelRangeItemClick(QObject* sender)
{
    if (QAction* item = itemOf(sender); item != nullptr)
        settings_.features.analyser.rangeDb = std::clamp(item->data().toDouble(), kLevelRangeMin, kLevelRangeMax);
    showAnalyserChoices();
    window_.markers().UpdateTimeBase();
}

void MenuCommands::OctaveBandsItemClick(QObject* sender)
{
    if (QAction* item = itemOf(sender); item != nullptr) {
        const int b = item->data().toInt();
        if (std::find(kOctaveFractions.begin(), kOctaveFractions.end(), b) != kOctaveFractions.end())
            settings_.features.analyser.bands = b;
    }
    showAnalyserChoices();
    window_.markers().UpdateTimeBase();
}

void MenuCommands::WeightingItemClick(QObject* sender)
{
    if (QAction* item = itemOf(sender); item != nullptr)
        settings_.features.analyser.weighting = static_cast<Weighting>(std::clamp(item->data().toInt(), 0, 2));
    showAnalyserChoices();
}

}  // namespace varmolen
