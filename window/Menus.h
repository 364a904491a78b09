// The menus that set what the front panel does not: the input, the display
// type, the graticule, the background scheme and the trace colours, the
// volume control's variant, the spectrum's averaging and peak hold, and
// the display's size and labels (window/DisplaySize.cpp).
#pragma once

#include "window/PanelGroup.h"

class QObject;
class QWidget;

namespace varmolen {

struct InstrumentSettings;
struct InstrumentView;
class TScopeForm;

class MenuCommands : public PanelGroup {
public:
    // The menus set the settings and start the spectra afresh (view); they
    // also act on the whole window (the input and display type restart
    // acquisition, a size lays the window out again, Quit closes it), so
    // they take the window too.
    MenuCommands(const PanelParts& panel, InstrumentSettings& settings, InstrumentView& view, TScopeForm& window)
        : PanelGroup(panel), settings_(settings), view_(view), window_(window)
    {}

    // File > Quit and Options > Select Sound Card...
    void Quit1Click(QObject* sender);
    void SelectCardClick(QObject* sender);
    // The sound-card dialog, created by the program entry after the window.
    void setSoundCardSelect(QWidget* dialog) { soundCardSelect_ = dialog; }

    // After the settings are applied: every readout shows the state in force.
    void showStateInForce();
    // The entries of the colour menus show the background and trace colours
    // in force.
    void showColoursInForce();
    void Mic1Click(QObject* sender);
    void Line1Click(QObject* sender);
    // Options > Precision: the input recorded at the item's precision, the
    // run in progress ending and a new one starting in the new format.
    void PrecisionItemClick(QObject* sender);
    void Time1Click(QObject* sender);
    void FFT1Click(QObject* sender);
    void Enable1Click(QObject* sender);
    void Disable1Click(QObject* sender);
    void White1Click(QObject* sender);
    void Teal1Click(QObject* sender);
    void Black1Click(QObject* sender);
    void Black2Click(QObject* sender);
    void Red1Click(QObject* sender);
    void Blue1Click(QObject* sender);
    void Lime1Click(QObject* sender);
    void Lime2Click(QObject* sender);
    void Yellow1Click(QObject* sender);
    void White2Click(QObject* sender);
    void Black3Click(QObject* sender);
    void Red2Click(QObject* sender);
    void Blue2Click(QObject* sender);
    void Teal2Click(QObject* sender);
    void Lime3Click(QObject* sender);
    void Yellow2Click(QObject* sender);
    void White3Click(QObject* sender);
    void WindowsXPClick(QObject* sender);
    void Windows2KClick(QObject* sender);
    // Display > Spectrum: averaging and peak hold.
    void AverageOff1Click(QObject* sender);
    void Average4Click(QObject* sender);
    void Average16Click(QObject* sender);
    void Average64Click(QObject* sender);
    void PeakHold1Click(QObject* sender);
    void SpectrumReset1Click(QObject* sender);
    // Display > Type > Spectrogram and Display > Spectrum's analyser items
    // (window/AnalyserMenus.cpp): each item chooses the setting its data holds.
    void Spectrogram1Click(QObject* sender);
    void SpectrumLengthItemClick(QObject* sender);
    void SpectrumWindowItemClick(QObject* sender);
    void FrequencyScaleItemClick(QObject* sender);
    void FullRange1Click(QObject* sender);
    void LevelUnitItemClick(QObject* sender);
    void LevelTopItemClick(QObject* sender);
    void LevelRangeItemClick(QObject* sender);
    void OctaveBandsItemClick(QObject* sender);
    void WeightingItemClick(QObject* sender);
    // After the settings are applied, and after a script's change: the
    // analyser's items show the settings in force.
    void showAnalyserChoices();
    // Display > Size and Display > Axis Labels (window/DisplaySize.cpp).
    void SizeNormal1Click(QObject* sender);
    void SizeLarge1Click(QObject* sender);
    void SizeFit1Click(QObject* sender);
    void AxisLabels1Click(QObject* sender);

private:
    InstrumentSettings& settings_;
    InstrumentView& view_;
    TScopeForm& window_;
    QWidget* soundCardSelect_ = nullptr;
};

}  // namespace varmolen
