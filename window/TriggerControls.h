// The Trigger, Display and Time Base groups' switches and buttons: the five
// trigger toggles, the Hold and Single rockers, the three sample-rate
// buttons, and the Sample Rate menu that offers every rate of the table.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "audio/SampleRates.h"
#include "window/PanelGroup.h"

class QObject;
class QRadioButton;

namespace varmolen {

struct DeviceRecords;
struct InstrumentSettings;
struct InstrumentView;
class MarkerControls;
class WaveInput;

// What a new sample rate asks of the rest of the window: acquisition
// stopped before the change and started again after it, and then the
// generator following the new rate.
struct RateRestart {
    std::function<void(QObject*)> stop;
    std::function<void(QObject*)> start;
    std::function<void()> rateFollowed;
};

class TriggerControls : public PanelGroup {
public:
    // The switches write the trigger and hold settings; a sample rate also
    // sets the recording format (device), asks the input which rates its
    // device takes, starts the spectra afresh (view) and relabels the
    // markers' readouts.
    TriggerControls(const PanelParts& panel, InstrumentSettings& settings, InstrumentView& view, DeviceRecords& device,
                    WaveInput& waveInput, MarkerControls& markers, RateRestart restart)
        : PanelGroup(panel),
          settings_(settings),
          view_(view),
          device_(device),
          waveInput_(waveInput),
          markers_(markers),
          restart_(std::move(restart))
    {}

    void TriggerEnableSwitchClick(QObject* sender);
    void TrigSlopeSwClick(QObject* sender);
    void ChannelSwClick(QObject* sender);
    void ChopSwClick(QObject* sender);
    void SineSquareSwClick(QObject* sender);
    void DisplayHoldSwClick(QObject* sender);
    void SingleDisplaySwClick(QObject* sender);
    void LowSampleRateRadioBtnClick(QObject* sender);
    void MidSampleRateRadioBtnClick(QObject* sender);
    void HiSampleRateRadioBtnClick(QObject* sender);
    // An item of Options > Sample Rate: that rate; a button's rate checks its button.
    void SampleRateItemClick(QObject* sender);
    // The Sample Rate items show which rates the chosen device takes (the
    // others disabled) and which it records natively; the Precision items
    // which precisions it records.
    void showDeviceRates();
    // Display > Time/Div: an item's time a division (pictures of the
    // record), or the Time dial's picture of one block; steps the rate and
    // the record do not offer are refused. Roll, and the trigger's sweep.
    void TimeDivItemClick(QObject* sender);
    // The panel's Time/Div list: its item's menu item, as if chosen there.
    void TimeDivBoxChange(QObject* sender);
    void TimeBaseModeItemClick(QObject* sender);
    void SweepAuto1Click(QObject* sender);
    void SweepNormal1Click(QObject* sender);
    // Trigger Position and Trigger Holdoff: the item's part of the span, its seconds.
    void TriggerPositionItemClick(QObject* sender);
    void HoldoffItemClick(QObject* sender);
    // The Time/Div items: the steps offered enabled, the settings' checked.
    void showTimeBaseSteps();
    // The Time dial or a rate button was used: the picture of one block again.
    void showBlockPicture();
    // After a new rate: a time a division it does not offer becomes the nearest it does.
    void fitTimeBaseToRate();
    // At start, after Varmolen.ini is read: its rate, when it is none of the
    // buttons' and the device takes it, replaces the record's button rate.
    void applyMenuSampleRate(QObject* sender);

private:
    // What the device chosen now answers about the rates (every rate, none
    // native, when no device is chosen).
    DeviceRates chosenDeviceRates() const;
    // `own` is the button of the rate, or nullptr when the Sample Rate menu
    // sets a rate no button records at: then all three show unchecked.
    void changeSampleRate(QObject* sender, QRadioButton* own, std::uint32_t rate);
    // After Hold or Single changed whether the display is held: the scales
    // describe the rate in force again, or the held picture's, where those
    // differ.
    void relabelForTheHold(std::uint32_t rateBefore);

    InstrumentSettings& settings_;
    InstrumentView& view_;
    DeviceRecords& device_;
    WaveInput& waveInput_;
    MarkerControls& markers_;
    RateRestart restart_;
};

}  // namespace varmolen
