// Options > Generator...: the signal generator's window, open beside the main
// window (not modal). It sets the generator through GeneratorControl as a
// user works its controls, plays at the capture's sample rate, shows the
// output's underruns, and reports a failed output device in one message.
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTimer;

namespace varmolen {

class GeneratorControl;
class TScopeForm;

// A number box of the generator's and the sweep's windows: two decimals,
// whole steps, the unit after the value, the accessible name given.
QDoubleSpinBox* numberBox(QWidget* parent, double low, double high, const QString& suffix, const QString& name);

class GeneratorWindow : public QWidget {
public:
    // Twice a second: the underrun count.
    static constexpr int kRefreshMs = 500;

    GeneratorWindow(TScopeForm& form, GeneratorControl& generator);

    // The controls from the generator's settings, the device list afresh.
    void load();
    // The controls from the generator's settings and its on/off state, after
    // something other than the window changed them (a remote command, a new
    // sample rate).
    void showSettings();
    // Switches the output on or off as the switch would.
    void switchOutput(bool on);
    // On the user-interface thread after the playback thread reported a failure.
    void outputFailed();

    QPushButton* outputSwitch() const { return output_; }
    QComboBox* waveformBox() const { return waveform_; }
    QDoubleSpinBox* frequencyBox() const { return frequency_; }
    QDoubleSpinBox* levelBox() const { return level_; }
    QComboBox* channelsBox() const { return channels_; }
    QCheckBox* invertBox() const { return invert_; }
    QComboBox* deviceBox() const { return device_; }
    QLabel* underrunLabel() const { return underruns_; }

private:
    void refresh();
    unsigned captureRate() const;

    TScopeForm& form_;
    GeneratorControl& generator_;
    QPushButton* output_ = nullptr;
    QComboBox* waveform_ = nullptr;
    QDoubleSpinBox* frequency_ = nullptr;
    QDoubleSpinBox* level_ = nullptr;
    QComboBox* channels_ = nullptr;
    QCheckBox* invert_ = nullptr;
    QComboBox* device_ = nullptr;
    QLabel* underruns_ = nullptr;
    QTimer* refresh_ = nullptr;
};

}  // namespace varmolen
