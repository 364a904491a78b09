// The menu bar of the main window: File, Options, Display, Measure and Help,
// every item with its name, caption and start check mark; the colour items
// show their colours, and each set of exclusive choices keeps one check.
#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <cmath>
#include <initializer_list>
#include <span>
#include <string>
#include <utility>

#include "panel/FrontPanel.h"
#include "panel/PanelControls.h"
#include "dsp/TimeBase.h"
#include "state/InstrumentState.h"

namespace varmolen {

QString sampleRateCaption(std::uint32_t rate, bool native)
{
    const QString hz = QStringLiteral("%1 Hz").arg(rate);
    return native ? hz + QStringLiteral("  (native)") : hz;
}

QString largeSizeCaption(bool reduced)
{
    return reduced ? QStringLiteral("Large (reduced to fit the screen)") : QStringLiteral("Large");
}

namespace {

QMenu* subMenu(QMenu* parent, const char* name, const char* title)
{
    auto* m = new QMenu(QString::fromUtf8(title), parent);
    m->setObjectName(QString::fromUtf8(name));
    parent->addMenu(m);
    return m;
}

// A checkable item of `parent` named `name` + its index, standing for `data`.
template <std::size_t N>
void choice(QMenu* parent, const char* name, std::array<QAction*, N>& items, std::size_t i, const QString& text,
            const QVariant& data, bool checked)
{
    auto* a = new QAction(text, parent);
    a->setObjectName(QString::fromUtf8(name) + QString::number(i));
    a->setCheckable(true);
    a->setChecked(checked);
    a->setData(data);
    parent->addAction(a);
    items[i] = a;
}

// Display > Spectrum's analyser items, their defaults checked.
void buildAnalyserMenus(DisplayMenu& d)
{
    const AnalyserSettings defaults;
    d.SpectrumLength1 = subMenu(d.Spectrum1, "SpectrumLength1", "Length");
    for (std::size_t i = 0; i < kAnalysisLengths.size(); ++i)
        choice(d.SpectrumLength1, "SpectrumLength", d.SpectrumLengths, i, QString::number(kAnalysisLengths[i]),
               kAnalysisLengths[i], kAnalysisLengths[i] == defaults.length);
    d.SpectrumWindow1 = subMenu(d.Spectrum1, "SpectrumWindow1", "Window");
    constexpr std::array<const char*, kAnalysisWindowCount> kWindowTexts = {"Display's Own", "Rectangular", "Hann",
                                                                            "Blackman-Harris", "Flat Top"};
    for (std::size_t i = 0; i < kWindowTexts.size(); ++i)
        choice(d.SpectrumWindow1, "SpectrumWindow", d.SpectrumWindows, i, QString::fromUtf8(kWindowTexts[i]),
               static_cast<int>(i), i == 0);
    d.FrequencyAxis1 = subMenu(d.Spectrum1, "FrequencyAxis1", "Frequency Axis");
    d.FrequencyLinear1 = new QAction(QStringLiteral("Linear"), d.FrequencyAxis1);
    d.FrequencyLog1 = new QAction(QStringLiteral("Logarithmic"), d.FrequencyAxis1);
    d.FrequencyLinear1->setObjectName(QStringLiteral("FrequencyLinear1"));
    d.FrequencyLog1->setObjectName(QStringLiteral("FrequencyLog1"));
    for (QAction* a : {d.FrequencyLinear1, d.FrequencyLog1}) {
        a->setCheckable(true);
        d.FrequencyAxis1->addAction(a);
    }
    d.FrequencyLinear1->setChecked(true);
    d.FrequencyLinear1->setData(0);
    d.FrequencyLog1->setData(1);
    d.FrequencyAxis1->addSeparator();
    d.FullRange1 = new QAction(QStringLiteral("Full Range"), d.FrequencyAxis1);
    d.FullRange1->setObjectName(QStringLiteral("FullRange1"));
    d.FrequencyAxis1->addAction(d.FullRange1);
    d.LevelAxis1 = subMenu(d.Spectrum1, "LevelAxis1", "Level Axis");
    constexpr std::array<const char*, kLevelUnitCount> kUnitTexts = {"dBFS", "dBV (calibrated channel)",
                                                                     "dBu (calibrated channel)", "dBFS/Hz (density)"};
    for (std::size_t i = 0; i < kUnitTexts.size(); ++i)
        choice(d.LevelAxis1, "LevelUnit", d.LevelUnits, i, QString::fromUtf8(kUnitTexts[i]), static_cast<int>(i),
               i == 0);
    d.LevelAxis1->addSeparator();
    for (std::size_t i = 0; i < kLevelTops.size(); ++i)
        choice(d.LevelAxis1, "LevelTop", d.LevelTops, i, QStringLiteral("Top %1 dB").arg(kLevelTops[i]), kLevelTops[i],
               kLevelTops[i] == defaults.topDb);
    d.LevelAxis1->addSeparator();
    for (std::size_t i = 0; i < kLevelRanges.size(); ++i)
        choice(d.LevelAxis1, "LevelRange", d.LevelRanges, i, QStringLiteral("Range %1 dB").arg(kLevelRanges[i]),
               kLevelRanges[i], kLevelRanges[i] == defaults.rangeDb);
    d.OctaveBands1 = subMenu(d.Spectrum1, "OctaveBands1", "Octave Bands");
    for (std::size_t i = 0; i < kOctaveFractions.size(); ++i) {
        const std::int32_t b = kOctaveFractions[i];
        choice(d.OctaveBands1, "OctaveBands", d.OctaveBands, i,
               b == 0 ? QStringLiteral("Off") : QStringLiteral("1/%1 Octave").arg(b), b, b == 0);
    }
    d.Weighting1 = subMenu(d.Spectrum1, "Weighting1", "Weighting");
    constexpr std::array<const char*, 3> kWeightingTexts = {"Z (flat)", "A", "C"};
    for (std::size_t i = 0; i < kWeightingTexts.size(); ++i)
        choice(d.Weighting1, "Weighting", d.Weightings, i, QString::fromUtf8(kWeightingTexts[i]), static_cast<int>(i),
               i == 0);
}

}  // namespace

void buildMenus(QMainWindow& window, PanelControls& c)
{
    QMenuBar* bar = window.menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto menu = [](QWidget* parent, const char* name, const char* title) {
        auto* m = new QMenu(QString::fromUtf8(title), parent);
        m->setObjectName(QString::fromUtf8(name));
        return m;
    };
    auto item = [&window](QMenu* m, const char* name, const char* caption, bool checkable = false,
                          bool checked = false) {
        QAction* a = m->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromUtf8(name));
        a->setParent(&window);
        if (checkable) {
            a->setCheckable(true);
            a->setChecked(checked);
        }
        return a;
    };

    c.fileMenu.File1 = menu(bar, "File1", "&File");
    c.fileMenu.SaveForm1 = item(c.fileMenu.File1, "SaveForm1", "Save Form");
    c.fileMenu.SaveBitmap1 = item(c.fileMenu.File1, "SaveBitmap1", "Save Bitmap");
    c.fileMenu.File1->addSeparator();
    c.fileMenu.CopyForm1 = item(c.fileMenu.File1, "CopyForm1", "Copy Form");
    c.fileMenu.CopyBitmap1 = item(c.fileMenu.File1, "CopyBitmap1", "Copy Bitmap");
    c.fileMenu.File1->addSeparator();
    c.fileMenu.PrintForm1 = item(c.fileMenu.File1, "PrintForm1", "Print Form");
    c.fileMenu.File1->addSeparator();
    c.fileMenu.ExportData1 = item(c.fileMenu.File1, "ExportData1", "Export Data...");
    c.fileMenu.ExportSpanWav1 = item(c.fileMenu.File1, "ExportSpanWav1", "Export Span as WAV...");
    c.fileMenu.RecordWav1 = item(c.fileMenu.File1, "RecordWav1", "Record WAV...");
    c.fileMenu.StopRecording1 = item(c.fileMenu.File1, "StopRecording1", "Stop Recording");
    c.fileMenu.StopRecording1->setEnabled(false);
    c.fileMenu.RecordFormat1 = subMenu(c.fileMenu.File1, "RecordFormat1", "Recording Format");
    constexpr std::array<const char*, kRecordFormatCount> kFormatTexts = {"16-bit PCM", "24-bit PCM", "32-bit Float"};
    for (std::size_t i = 0; i < kFormatTexts.size(); ++i)
        choice(c.fileMenu.RecordFormat1, "RecordFormat", c.fileMenu.RecordFormats, i,
               QString::fromUtf8(kFormatTexts[i]), static_cast<int>(i), i == 0);
    c.fileMenu.File1->addSeparator();
    c.fileMenu.Quit1 = item(c.fileMenu.File1, "Quit1", "Quit");
    bar->addMenu(c.fileMenu.File1);

    c.optionsMenu.Options1 = menu(bar, "Options1", "&Options");
    c.optionsMenu.SelectSoundCard = menu(c.optionsMenu.Options1, "SelectSoundCard", "Sound Card");
    c.optionsMenu.SelectCard = item(c.optionsMenu.SelectSoundCard, "SelectCard", "Select");
    c.optionsMenu.Options1->addMenu(c.optionsMenu.SelectSoundCard);
    c.optionsMenu.Input1 = menu(c.optionsMenu.Options1, "Input1", "Input");
    c.optionsMenu.Mic1 = item(c.optionsMenu.Input1, "Mic1", "Microphone", true, true);
    c.optionsMenu.Line1 = item(c.optionsMenu.Input1, "Line1", "Line", true, false);
    c.optionsMenu.Options1->addMenu(c.optionsMenu.Input1);
    // Every recording rate, the rate in force checked; which ones the device
    // takes is shown when the menu opens (window/TriggerControls.cpp).
    c.optionsMenu.SampleRate1 = menu(c.optionsMenu.Options1, "SampleRate1", "Sample Rate");
    auto* sampleRates = new QActionGroup(&window);
    sampleRates->setExclusive(true);
    for (std::size_t i = 0; i < kSampleRates.size(); ++i) {
        const std::uint32_t rate = kSampleRates[i];
        const std::string name = "SampleRate" + std::to_string(rate);
        QAction* a = item(c.optionsMenu.SampleRate1, name.c_str(), sampleRateCaption(rate, false).toUtf8().constData(),
                          true, rate == kStartupSampleRate);
        a->setData(rate);
        sampleRates->addAction(a);
        c.optionsMenu.SampleRates[i] = a;
    }
    c.optionsMenu.Options1->addMenu(c.optionsMenu.SampleRate1);
    // How finely the input is recorded; which precisions the device records
    // is shown when the menu opens.
    c.optionsMenu.Precision1 = menu(c.optionsMenu.Options1, "Precision1", "Precision");
    auto* precisions = new QActionGroup(&window);
    precisions->setExclusive(true);
    const std::array<std::pair<const char*, const char*>, 3> precisionItems{
        {{"Precision16", "16 bit"}, {"Precision24", "24 bit"}, {"PrecisionFloat", "32-bit float"}}};
    for (std::size_t i = 0; i < precisionItems.size(); ++i) {
        QAction* a = item(c.optionsMenu.Precision1, precisionItems[i].first, precisionItems[i].second, true, i == 0);
        a->setData(static_cast<int>(i));
        precisions->addAction(a);
        c.optionsMenu.Precisions[i] = a;
    }
    c.optionsMenu.Options1->addMenu(c.optionsMenu.Precision1);
    c.optionsMenu.RemoteControl1 = item(c.optionsMenu.Options1, "RemoteControl1", "Remote Control...");
    // The signal generator on the sound card's output.
    c.optionsMenu.Generator1 = item(c.optionsMenu.Options1, "Generator1", "Generator...");
    bar->addMenu(c.optionsMenu.Options1);

    c.displayMenu.Display1 = menu(bar, "Display1", "&Display");
    c.displayMenu.Type1 = menu(c.displayMenu.Display1, "Type1", "Type");
    c.displayMenu.Time1 = item(c.displayMenu.Type1, "Time1", "Time", true, true);
    c.displayMenu.FFT1 = item(c.displayMenu.Type1, "FFT1", "Frequency", true, false);
    c.displayMenu.Spectrogram1 = item(c.displayMenu.Type1, "Spectrogram1", "Spectrogram", true, false);
    c.displayMenu.Display1->addMenu(c.displayMenu.Type1);
    c.displayMenu.Grid1 = menu(c.displayMenu.Display1, "Grid1", "Grid");
    c.displayMenu.Enable1 = item(c.displayMenu.Grid1, "Enable1", "Enable", true, true);
    c.displayMenu.Disable1 = item(c.displayMenu.Grid1, "Disable1", "Disable", true, false);
    c.displayMenu.Display1->addMenu(c.displayMenu.Grid1);
    c.displayMenu.BackgroundColor1 = menu(c.displayMenu.Display1, "BackgroundColor1", "Background Color");
    c.displayMenu.White1 = item(c.displayMenu.BackgroundColor1, "White1", "White");
    c.displayMenu.Teal1 = item(c.displayMenu.BackgroundColor1, "Teal1", "Teal");
    c.displayMenu.Black1 = item(c.displayMenu.BackgroundColor1, "Black1", "Black");
    c.displayMenu.Display1->addMenu(c.displayMenu.BackgroundColor1);
    c.displayMenu.Channel1TraceColor1 = menu(c.displayMenu.Display1, "Channel1TraceColor1", "Channel 1 Color");
    c.displayMenu.Black2 = item(c.displayMenu.Channel1TraceColor1, "Black2", "Black");
    c.displayMenu.Red1 = item(c.displayMenu.Channel1TraceColor1, "Red1", "Red");
    c.displayMenu.Blue1 = item(c.displayMenu.Channel1TraceColor1, "Blue1", "Blue");
    c.displayMenu.Lime1 = item(c.displayMenu.Channel1TraceColor1, "Lime1", "Teal");
    c.displayMenu.Lime2 = item(c.displayMenu.Channel1TraceColor1, "Lime2", "Lime");
    c.displayMenu.Yellow1 = item(c.displayMenu.Channel1TraceColor1, "Yellow1", "Yellow");
    c.displayMenu.White2 = item(c.displayMenu.Channel1TraceColor1, "White2", "White");
    c.displayMenu.Display1->addMenu(c.displayMenu.Channel1TraceColor1);
    c.displayMenu.Chan2TraceColor1 = menu(c.displayMenu.Display1, "Chan2TraceColor1", "Channel 2 Color");
    c.displayMenu.Black3 = item(c.displayMenu.Chan2TraceColor1, "Black3", "Black");
    c.displayMenu.Red2 = item(c.displayMenu.Chan2TraceColor1, "Red2", "Red");
    c.displayMenu.Blue2 = item(c.displayMenu.Chan2TraceColor1, "Blue2", "Blue");
    c.displayMenu.Teal2 = item(c.displayMenu.Chan2TraceColor1, "Teal2", "Teal");
    c.displayMenu.Lime3 = item(c.displayMenu.Chan2TraceColor1, "Lime3", "Lime");
    c.displayMenu.Yellow2 = item(c.displayMenu.Chan2TraceColor1, "Yellow2", "Yellow");
    c.displayMenu.White3 = item(c.displayMenu.Chan2TraceColor1, "White3", "White");
    c.displayMenu.Display1->addMenu(c.displayMenu.Chan2TraceColor1);
    c.displayMenu.Spectrum1 = menu(c.displayMenu.Display1, "Spectrum1", "Spectrum");
    c.displayMenu.AverageOff1 = item(c.displayMenu.Spectrum1, "AverageOff1", "Average Off", true, true);
    c.displayMenu.Average4 = item(c.displayMenu.Spectrum1, "Average4", "Average 4", true, false);
    c.displayMenu.Average16 = item(c.displayMenu.Spectrum1, "Average16", "Average 16", true, false);
    c.displayMenu.Average64 = item(c.displayMenu.Spectrum1, "Average64", "Average 64", true, false);
    c.displayMenu.Spectrum1->addSeparator();
    c.displayMenu.PeakHold1 = item(c.displayMenu.Spectrum1, "PeakHold1", "Peak Hold", true, false);
    c.displayMenu.Spectrum1->addSeparator();
    c.displayMenu.SpectrumReset1 = item(c.displayMenu.Spectrum1, "SpectrumReset1", "Reset");
    c.displayMenu.Spectrum1->addSeparator();
    buildAnalyserMenus(c.displayMenu);
    c.displayMenu.Display1->addMenu(c.displayMenu.Spectrum1);
    // The display's size and the labels around it.
    c.displayMenu.Size1 = menu(c.displayMenu.Display1, "Size1", "Size");
    c.displayMenu.SizeNormal1 = item(c.displayMenu.Size1, "SizeNormal1", "Normal", true, true);
    c.displayMenu.SizeLarge1 = item(c.displayMenu.Size1, "SizeLarge1", "Large", true, false);
    c.displayMenu.SizeFit1 = item(c.displayMenu.Size1, "SizeFit1", "Fit to Window", true, false);
    c.displayMenu.Display1->addMenu(c.displayMenu.Size1);
    c.displayMenu.AxisLabels1 = item(c.displayMenu.Display1, "AxisLabels1", "Axis Labels", true, false);
    // The time base in seconds a division: pictures of the record.
    c.displayMenu.TimeDiv1 = menu(c.displayMenu.Display1, "TimeDiv1", "Time/Div");
    c.displayMenu.TimeDial1 = item(c.displayMenu.TimeDiv1, "TimeDial1", "Time Dial (one block)", true, true);
    c.displayMenu.TimeDial1->setData(0.0);
    c.displayMenu.TimeDiv1->addSeparator();
    for (int i = 0; i < kTimeBaseStepCount; ++i) {
        const std::string name = "TimeDiv" + std::to_string(i);
        QAction* a =
            item(c.displayMenu.TimeDiv1, name.c_str(), timeBaseText(timeBaseStep(i), '.').c_str(), true, false);
        a->setData(timeBaseStep(i));
        c.displayMenu.TimeDivs[static_cast<std::size_t>(i)] = a;
    }
    c.displayMenu.TimeDiv1->addSeparator();
    c.displayMenu.RollAuto1 =
        item(c.displayMenu.TimeDiv1, "RollAuto1", "Roll from 100 ms/div, Triggered Below", true, true);
    c.displayMenu.RollMain1 = item(c.displayMenu.TimeDiv1, "RollMain1", "Triggered", true, false);
    c.displayMenu.Roll1 = item(c.displayMenu.TimeDiv1, "Roll1", "Roll", true, false);
    c.displayMenu.RollAuto1->setData(kAutoTimeBase);
    c.displayMenu.RollMain1->setData(kMainTimeBase);
    c.displayMenu.Roll1->setData(kRollTimeBase);
    c.displayMenu.TimeDiv1->addSeparator();
    c.displayMenu.SweepAuto1 = item(c.displayMenu.TimeDiv1, "SweepAuto1", "Trigger Auto", true, true);
    c.displayMenu.SweepNormal1 = item(c.displayMenu.TimeDiv1, "SweepNormal1", "Trigger Normal", true, false);
    c.displayMenu.TriggerPosition1 = menu(c.displayMenu.TimeDiv1, "TriggerPosition1", "Trigger Position");
    for (int i = 0; i < kTriggerPositionCount; ++i) {
        const double part = kTriggerPositions[static_cast<std::size_t>(i)];
        const std::string name = "TriggerPosition" + std::to_string(i);
        const std::string text = std::to_string(static_cast<int>(std::lround(part * 100))) + " % before the trigger";
        QAction* a = item(c.displayMenu.TriggerPosition1, name.c_str(), text.c_str(), true, i == 0);
        a->setData(part);
        c.displayMenu.TriggerPositions[static_cast<std::size_t>(i)] = a;
    }
    c.displayMenu.TimeDiv1->addMenu(c.displayMenu.TriggerPosition1);
    c.displayMenu.Holdoff1 = menu(c.displayMenu.TimeDiv1, "Holdoff1", "Trigger Holdoff");
    for (int i = 0; i < kHoldoffCount; ++i) {
        const double seconds = kHoldoffs[static_cast<std::size_t>(i)];
        const std::string name = "Holdoff" + std::to_string(i);
        // In the unit of a span as long as the holdoff: "100 ms", "1 s".
        const double perDiv = seconds / kTimeBaseDivisions;
        const std::string text =
            seconds > 0.0 ? timeBaseNumber(seconds, perDiv, '.') + " " + timeBaseUnit(perDiv) : std::string("Off");
        QAction* a = item(c.displayMenu.Holdoff1, name.c_str(), text.c_str(), true, i == 0);
        a->setData(seconds);
        c.displayMenu.Holdoffs[static_cast<std::size_t>(i)] = a;
    }
    c.displayMenu.TimeDiv1->addMenu(c.displayMenu.Holdoff1);
    c.displayMenu.Display1->addMenu(c.displayMenu.TimeDiv1);
    bar->addMenu(c.displayMenu.Display1);

    // The measurement strip and its calibration.
    c.measureMenu.Measure1 = menu(bar, "Measure1", "&Measure");
    c.measureMenu.ShowMeasurements1 = item(c.measureMenu.Measure1, "ShowMeasurements1", "Show Measurements", true);
    c.measureMenu.Calibrate1 = item(c.measureMenu.Measure1, "Calibrate1", "Calibrate...");
    // The stepped-sine sweep through a device under test.
    c.measureMenu.ResponseSweep1 = item(c.measureMenu.Measure1, "ResponseSweep1", "Response Sweep...");
    bar->addMenu(c.measureMenu.Measure1);

    c.helpMenu.Help1 = menu(bar, "Help1", "&Help");
    c.helpMenu.HelpFile1 = item(c.helpMenu.Help1, "HelpFile1", "Help File");
    c.helpMenu.Help1->addSeparator();
    c.helpMenu.About1 = item(c.helpMenu.Help1, "About1", "About");
    bar->addMenu(c.helpMenu.Help1);

    const DisplayMenu& display = c.displayMenu;
    const OptionsMenu& options = c.optionsMenu;
    // Items of which one is checked at a time.
    const auto exclusive = [&window](std::initializer_list<QAction*> items) {
        auto* group = new QActionGroup(&window);
        group->setExclusive(true);
        for (QAction* a : items)
            group->addAction(a);
        return group;
    };
    exclusive({display.AverageOff1, display.Average4, display.Average16, display.Average64});
    exclusive({c.fileMenu.RecordFormats[0], c.fileMenu.RecordFormats[1], c.fileMenu.RecordFormats[2]});
    exclusive({display.Time1, display.FFT1, display.Spectrogram1});
    exclusive({display.FrequencyLinear1, display.FrequencyLog1});
    // Items of a setting that may hold another value (from Varmolen.ini or
    // a script) leave them all unchecked then.
    for (const auto& items :
         {std::span<QAction* const>(display.SpectrumLengths), std::span<QAction* const>(display.SpectrumWindows),
          std::span<QAction* const>(display.LevelUnits), std::span<QAction* const>(display.LevelTops),
          std::span<QAction* const>(display.LevelRanges), std::span<QAction* const>(display.OctaveBands),
          std::span<QAction* const>(display.Weightings)}) {
        auto* group = new QActionGroup(&window);
        group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        for (QAction* a : items)
            group->addAction(a);
    }
    exclusive({display.SizeNormal1, display.SizeLarge1, display.SizeFit1});
    QActionGroup* steps = exclusive({display.TimeDial1});
    for (QAction* a : display.TimeDivs)
        steps->addAction(a);
    exclusive({display.RollAuto1, display.RollMain1, display.Roll1});
    exclusive({display.SweepAuto1, display.SweepNormal1});
    // A position or holdoff that is none of the items (from Varmolen.ini or
    // a script) leaves them all unchecked.
    for (const auto& items :
         {std::span<QAction* const>(display.TriggerPositions), std::span<QAction* const>(display.Holdoffs)}) {
        auto* group = new QActionGroup(&window);
        group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        for (QAction* a : items)
            group->addAction(a);
    }

    // Every colour item shows its colour.
    const std::pair<QAction*, std::int32_t> swatches[] = {
        {display.White1, colour::kWhite},   {display.Teal1, colour::kTeal},   {display.Black1, colour::kBlack},
        {display.Black2, colour::kBlack},   {display.Red1, colour::kRed},     {display.Blue1, colour::kBlue},
        {display.Lime1, colour::kTeal},     {display.Lime2, colour::kLime},   {display.Yellow1, colour::kYellow},
        {display.White2, colour::kWhite},   {display.Black3, colour::kBlack}, {display.Red2, colour::kRed},
        {display.Blue2, colour::kBlue},     {display.Teal2, colour::kTeal},   {display.Lime3, colour::kLime},
        {display.Yellow2, colour::kYellow}, {display.White3, colour::kWhite},
    };
    for (const auto& [action, word] : swatches)
        action->setIcon(colourSwatch(word));

    // Each pair of exclusive choices keeps exactly one check mark.
    exclusive({options.Mic1, options.Line1});
    exclusive({display.Time1, display.FFT1});
    exclusive({display.Enable1, display.Disable1});
}

}  // namespace varmolen
