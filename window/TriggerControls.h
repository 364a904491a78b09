// The Trigger, Display and Time Base groups' switches and buttons: the five
// trigger toggles, the Hold and Single rockers, the three sample-rate
// buttons, and the Sample Rate menu that offers every rate of the table.
#pragma once

#include "window/PanelGroup.h"

class QObject;

namespace varmolen {

class TriggerControls : public PanelGroup {
public:
    explicit TriggerControls(TScopeForm& form) : PanelGroup(form) {}

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
    // others disabled) and which it records natively.
    void showDeviceRates();
    // At start, after Varmolen.ini is read: its rate, when it is none of the
    // buttons' and the device takes it, replaces the record's button rate.
    void applyMenuSampleRate(QObject* sender);
};

}  // namespace varmolen
