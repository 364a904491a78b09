// The menus that set what the front panel does not: the input (microphone
// or line), the display type, the graticule, the background scheme and the
// trace colours, the system folder of the volume control, and the spectrum's
// averaging and peak hold.
#include "window/Menus.h"

#include <QAction>
#include <QCoreApplication>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>
#include <QSlider>
#include <QString>

#include "window/Varmolen2.h"
#include "acquisition/AcquisitionLoop.h"
#include "display/MarkerReadouts.h"
#include "acquisition/RecordingFormat.h"
#include "audio/SampleRates.h"
#include "panel/ChannelMath.h"
#include "panel/FrontPanel.h"
#include "panel/widgets/Dial.h"
#include "window/DataCommands.h"
#include "window/MeasureControls.h"

namespace varmolen {

namespace {

// A colour word 0x00BBGGRR as a style-sheet colour "#rrggbb".
QString styleColour(std::int32_t word)
{
    const auto w = static_cast<std::uint32_t>(word);
    return QStringLiteral("#%1%2%3")
        .arg(w & 0xFFu, 2, 16, QLatin1Char('0'))
        .arg((w >> 8) & 0xFFu, 2, 16, QLatin1Char('0'))
        .arg((w >> 16) & 0xFFu, 2, 16, QLatin1Char('0'));
}

void checkOneOf(QAction* own, QAction* other)
{
    own->setChecked(true);
    other->setChecked(false);
}

QString displayTypeText(bool time)
{
    return time ? QStringLiteral("Display = TIME") : QStringLiteral("Display = FREQUENCY");
}

QString inputText(bool line) { return line ? QStringLiteral("Input = LINE") : QStringLiteral("Input = MIC"); }

// While a WAV recording runs, the input in force chosen again for the device
// that is open (the sound-card dialog's Select does so) changes nothing the
// device records; stopping and starting it would only cut the file.
bool recordingGoesOnUnchanged(TScopeForm& form, bool line)
{
    const InstrumentState& s = form.state();
    return form.data().recording() && form.acquisition().running() && form.openDevice() == s.waveDeviceId &&
           s.waveFormat.nChannels == (line ? 2 : 1);
}

// The precision in force, unless the chosen device cannot record it: then
// its 16-bit frames, which every device records.
void keepRecordablePrecision(TScopeForm& form)
{
    InstrumentState& s = form.state();
    const DeviceRates rates =
        s.waveDeviceId >= 0 ? form.waveInput().deviceRates(static_cast<UINT>(s.waveDeviceId)) : DeviceRates::unknown();
    if (!recordsPrecision(rates, s.features.precision))
        s.features.precision = kPrecision16;
    form.controls().optionsMenu.Precisions[static_cast<std::size_t>(s.features.precision)]->setChecked(true);
}

// Microphone (line = false): mono; line: stereo. The run in progress ends
// and a new one starts on the new format, also when the same input is
// chosen again, except while the settings file is applied (or while a
// recording runs on, see recordingGoesOnUnchanged).
void changeInput(TScopeForm& form, QObject* sender, bool line)
{
    InstrumentState& s = form.state();
    if (line)
        checkOneOf(form.controls().optionsMenu.Line1, form.controls().optionsMenu.Mic1);
    else
        checkOneOf(form.controls().optionsMenu.Mic1, form.controls().optionsMenu.Line1);
    s.inputSelect = line ? kLineInput : kMicrophoneInput;

    const bool live = s.loadingSettings == 0 && !recordingGoesOnUnchanged(form, line);
    if (live)
        form.StopBtnClick(sender);

    // The sound-card dialog may have chosen a device of another kind.
    keepRecordablePrecision(form);
    setRecordingFormat(s, s.sampleRate, line, s.features.precision);
    // The spectra averaged and held so far came from the other input (or,
    // after the sound-card dialog, another device).
    resetSpectrumHistory(s.spectrumHistory);
    form.status().setText(3, inputText(line));

    if (live)
        form.StartBtnClick(sender);
}

// Puts one channel's range track bar and Gain dial back to the settings the
// display type in force keeps, and recomputes that type's gain from them.
void restoreGain(TScopeForm& form, int channel)
{
    InstrumentState& s = form.state();
    const ChannelWidgets w = channelWidgets(form.controls(), channel);
    const ChannelControlsSetting c = controlsForDisplayType(s, s.displayHeight, channel);
    if (c.trackBarPosition) {
        const QSignalBlocker quiet(w.range);
        w.range->setValue(*c.trackBarPosition);
    }
    w.gain->setValue(c.gainDial);
    ChannelFields f = fieldsInForce(s, channel);
    f.gain = gainFromDial(f.range, w.gain->value());
}

// Puts one channel's Position dial at the whole percent that shows the
// stored zero line, then stores the row that dial position gives.
void restoreOffset(TScopeForm& form, QObject* sender, int channel)
{
    const ChannelControlsSetting c = controlsForDisplayType(form.state(), form.state().displayHeight, channel);
    channelWidgets(form.controls(), channel).position->setValue(c.offsetDial);
    if (channel == 1)
        form.channels().Chan1OffsetDialClick(sender);
    else
        form.channels().Chan2OffsetDialClick(sender);
}

void changeDisplayType(TScopeForm& form, QObject* sender, std::int32_t type)
{
    InstrumentState& s = form.state();
    const bool time = type == kTimeDisplayType;
    if (time)
        checkOneOf(form.controls().displayMenu.Time1, form.controls().displayMenu.FFT1);
    else
        checkOneOf(form.controls().displayMenu.FFT1, form.controls().displayMenu.Time1);
    s.displayType = type;
    resetSpectrumHistory(s.spectrumHistory);
    // The tone readings start with the display type chosen, as the spectrum's
    // own averaging does.
    form.measure().restartToneReadings();

    form.status().setText(0, displayTypeText(time));
    form.status().setText(1, time ? QStringLiteral("Time = ") : QStringLiteral("Frequency = "));

    if (isSampleRate(s.sampleRate))
        s.bufferBytes = blockBufferBytes(s, s.sampleRate);

    // Gains of both channels first, then the zero lines.
    restoreGain(form, 1);
    restoreGain(form, 2);
    restoreOffset(form, sender, 1);
    restoreOffset(form, sender, 2);

    form.markers().UpdateTimeBase();
}

struct Scheme {
    std::int32_t panel;
    std::int32_t labels;
};

void applyBackground(TScopeForm& form, std::int32_t scheme, Scheme colours)
{
    form.state().backgroundScheme = scheme;
    const ScreenWidgets& screen = form.controls().screen;
    screen.ScopeStatusPanel->setStyleSheet(
        QStringLiteral("QFrame#ScopeStatusPanel { background-color: %1; }").arg(styleColour(colours.panel)));
    const QString font = QStringLiteral("color: %1;").arg(styleColour(colours.labels));
    for (QLabel* label : {screen.LoFreqLabel, screen.HiFreqLabel, screen.MarkerLabel})
        label->setStyleSheet(font);
}

}  // namespace

void MenuCommands::showColoursInForce()
{
    // The colour items carry no check mark; the entry that opens each colour
    // menu shows the colour in force as a swatch instead.
    const InstrumentSettings& s = settings_;
    controls_.displayMenu.BackgroundColor1->setIcon(colourSwatch(backgroundColour(s.backgroundScheme)));
    controls_.displayMenu.Channel1TraceColor1->setIcon(colourSwatch(s.chan1Color));
    controls_.displayMenu.Chan2TraceColor1->setIcon(colourSwatch(s.chan2Color));
}

void MenuCommands::showStateInForce()
{
    // The readouts start with their bare captions; without a settings file no
    // handler writes them. Write what is in force: display type, input,
    // threshold, and the scale texts of the display type, which the time-base
    // refresh forms (its stored dial position is the settings file's, so it
    // stays as start-up left it).
    InstrumentSettings& s = settings_;
    status_.setText(0, displayTypeText(s.displayType == kTimeDisplayType));
    status_.setText(3, inputText(s.inputSelect == kLineInput));
    status_.setText(2, QString::fromStdString(thresholdReadout(s.triggerThreshold)));
    const std::int32_t timeBaseSetting = s.timeBaseSetting;
    window_.markers().UpdateTimeBase();
    s.timeBaseSetting = timeBaseSetting;
    showColoursInForce();
    keepRecordablePrecision(window_);
}

void MenuCommands::Mic1Click(QObject* sender) { changeInput(window_, sender, false); }

void MenuCommands::Line1Click(QObject* sender) { changeInput(window_, sender, true); }

void MenuCommands::PrecisionItemClick(QObject* sender)
{
    const auto* item = qobject_cast<const QAction*>(sender);
    const int precision = item != nullptr ? item->data().toInt() : -1;
    if (precision < kPrecision16 || precision > kPrecisionFloat)
        return;
    InstrumentState& s = window_.state();
    const std::int32_t before = s.features.precision;
    s.features.precision = precision;
    keepRecordablePrecision(window_);  // a remote call may ask for what the device cannot give
    if (s.features.precision == before || s.loadingSettings != 0)
        return;
    // The run ends and a new one opens the device in the new format (each
    // start aligns the format with the precision); the record goes on (its
    // next frame is a break), and so does a recording.
    window_.StopBtnClick(sender);
    window_.StartBtnClick(sender);
}

// Time and Frequency end the spectrogram; while the settings are applied
// the record's display type leaves the spectrogram Varmolen.ini keeps.
void MenuCommands::Time1Click(QObject* sender)
{
    if (settings_.loadingSettings == 0)
        settings_.features.analyser.spectrogram = false;
    changeDisplayType(window_, sender, kTimeDisplayType);
}

void MenuCommands::FFT1Click(QObject* sender)
{
    if (settings_.loadingSettings == 0)
        settings_.features.analyser.spectrogram = false;
    changeDisplayType(window_, sender, kFrequencyDisplayType);
}

void MenuCommands::Enable1Click(QObject* /*sender*/)
{
    checkOneOf(controls_.displayMenu.Enable1, controls_.displayMenu.Disable1);
    settings_.gridEnabled = 1;
}

void MenuCommands::Disable1Click(QObject* /*sender*/)
{
    checkOneOf(controls_.displayMenu.Disable1, controls_.displayMenu.Enable1);
    settings_.gridEnabled = 0;
}

void MenuCommands::White1Click(QObject* /*sender*/)
{
    applyBackground(window_, kWhiteBackground, {colour::kWhite, colour::kRed});
}

void MenuCommands::Black1Click(QObject* /*sender*/)
{
    applyBackground(window_, kBlackBackground, {colour::kBlack, colour::kYellow});
}

void MenuCommands::Teal1Click(QObject* /*sender*/)
{
    applyBackground(window_, kTealBackground, {colour::kTeal, colour::kYellow});
}

// Trace colours of channel 1.
void MenuCommands::Black2Click(QObject* /*sender*/) { settings_.chan1Color = colour::kBlack; }
void MenuCommands::Red1Click(QObject* /*sender*/) { settings_.chan1Color = colour::kRed; }
void MenuCommands::Blue1Click(QObject* /*sender*/) { settings_.chan1Color = colour::kBlue; }
void MenuCommands::Lime1Click(QObject* /*sender*/) { settings_.chan1Color = colour::kTeal; }  // the "Teal" item
void MenuCommands::Lime2Click(QObject* /*sender*/) { settings_.chan1Color = colour::kLime; }
void MenuCommands::Yellow1Click(QObject* /*sender*/) { settings_.chan1Color = colour::kYellow; }
void MenuCommands::White2Click(QObject* /*sender*/) { settings_.chan1Color = colour::kWhite; }

// Trace colours of channel 2.
void MenuCommands::Black3Click(QObject* /*sender*/) { settings_.chan2Color = colour::kBlack; }
void MenuCommands::Red2Click(QObject* /*sender*/) { settings_.chan2Color = colour::kRed; }
void MenuCommands::Blue2Click(QObject* /*sender*/) { settings_.chan2Color = colour::kBlue; }
void MenuCommands::Teal2Click(QObject* /*sender*/) { settings_.chan2Color = colour::kTeal; }
void MenuCommands::Lime3Click(QObject* /*sender*/) { settings_.chan2Color = colour::kLime; }
void MenuCommands::Yellow2Click(QObject* /*sender*/) { settings_.chan2Color = colour::kYellow; }
void MenuCommands::White3Click(QObject* /*sender*/) { settings_.chan2Color = colour::kWhite; }

// Display > Spectrum. A new number of blocks starts the average afresh; peak
// hold starts from the next block each time it is switched on.
namespace {

void setAverage(InstrumentSettings& s, InstrumentView& view, QAction* own, std::int32_t blocks)
{
    own->setChecked(true);
    s.features.spectrumAverage = blocks;
    restartSpectrumAverage(view.spectrumHistory);
    view.analyser.averaged = {};
}

}  // namespace

void MenuCommands::AverageOff1Click(QObject* /*sender*/)
{
    setAverage(settings_, view_, controls_.displayMenu.AverageOff1, 0);
}
void MenuCommands::Average4Click(QObject* /*sender*/)
{
    setAverage(settings_, view_, controls_.displayMenu.Average4, 4);
}
void MenuCommands::Average16Click(QObject* /*sender*/)
{
    setAverage(settings_, view_, controls_.displayMenu.Average16, 16);
}
void MenuCommands::Average64Click(QObject* /*sender*/)
{
    setAverage(settings_, view_, controls_.displayMenu.Average64, 64);
}

void MenuCommands::PeakHold1Click(QObject* /*sender*/)
{
    settings_.features.peakHold = controls_.displayMenu.PeakHold1->isChecked();
    restartPeakHold(view_.spectrumHistory);
    view_.analyser.held = {};
}

void MenuCommands::SpectrumReset1Click(QObject* /*sender*/)
{
    resetSpectrumHistory(view_.spectrumHistory);
    window_.analyserSweep().restart(view_);
}

void MenuCommands::WindowsXPClick(QObject* /*sender*/) { settings_.osVariant = kDesktopVolumeControl; }

void MenuCommands::Windows2KClick(QObject* /*sender*/) { settings_.osVariant = kTerminalVolumeControl; }

void MenuCommands::Quit1Click(QObject* /*sender*/)
{
    window_.close();
    QCoreApplication::quit();
}

void MenuCommands::SelectCardClick(QObject* /*sender*/)
{
    if (soundCardSelect_ == nullptr)
        return;
    soundCardSelect_->show();
    soundCardSelect_->raise();
}

}  // namespace varmolen
