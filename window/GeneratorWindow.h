// Options > Generator...: the signal generator's window, open beside the main
// window (not modal). It sets the generator through GeneratorControl as a
// user works its controls, plays at the capture's sample rate, shows the
// output's underruns, and reports a failed output device in one message.
#pragma once

#include <QWidget>

#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTimer;

namespace varmolen {

class GeneratorControl;
struct InstrumentSettings;
class QtHost;

// Tells of a generator or sweep that ended on its own: the remote client
// listening hears of it, or with none a box shows it when `boxed`.
using EndAnnouncer = std::function<void(int code, const std::string& text, const std::string& caption, bool boxed)>;

// A number box of the generator's and the sweep's windows: two decimals,
// whole steps, the unit after the value, the accessible name given.
QDoubleSpinBox* numberBox(QWidget* parent, double low, double high, const QString& suffix, const QString& name);

class GeneratorWindow : public QWidget {
public:
    // Twice a second: the underrun count.
    static constexpr int kRefreshMs = 500;

    // A window of its own over `owner`; it reads the capture rate in force
    // from the settings, reports through the host and announces a failed
    // output.
    GeneratorWindow(QWidget& owner, const InstrumentSettings& settings, QtHost& host, GeneratorControl& generator,
                    EndAnnouncer announceEnd);

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
    // What plays instead of the frequency set while the capture's rate
    // cannot carry it; hidden otherwise.
    QLabel* playedLabel() const { return played_; }

private:
    void refresh();
    unsigned captureRate() const;

    const InstrumentSettings& settings_;
    QtHost& host_;
    GeneratorControl& generator_;
    EndAnnouncer announceEnd_;
    QPushButton* output_ = nullptr;
    QComboBox* waveform_ = nullptr;
    QDoubleSpinBox* frequency_ = nullptr;
    QDoubleSpinBox* level_ = nullptr;
    QComboBox* channels_ = nullptr;
    QCheckBox* invert_ = nullptr;
    QComboBox* device_ = nullptr;
    QLabel* underruns_ = nullptr;
    QLabel* played_ = nullptr;
    QTimer* refresh_ = nullptr;
};

}  // namespace varmolen
