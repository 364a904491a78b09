// Calibrate...: per channel, no calibration (the channel reads % and dBFS),
// "full scale = V" (the peak voltage that reads 32767), or "measure" (the
// user applies a known RMS voltage and types it; the channel's RMS reading
// gives the full scale). A voltage that cannot be used is refused with a
// message in the dialog, which then stays open.
#pragma once

#include <QDialog>

#include <array>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QRadioButton;

namespace varmolen {

class CalibrateDialog : public QDialog {
public:
    // The AC RMS (codes) a channel reads now; nothing without a reading.
    using RmsSource = std::function<std::optional<double>(int channel)>;

    CalibrateDialog(QWidget* parent, RmsSource rms);

    // Fills the fields from the calibration in force (0 = none).
    void load(const std::array<double, 2>& fullScaleVolts);
    // The calibration accepted with OK.
    const std::array<double, 2>& accepted() const { return accepted_; }
    // Writes what each channel reads now next to its "measure" field.
    void showReadings(const std::array<QString, 2>& texts);

    // OK: checks both channels; refused, the message says why and the
    // dialog stays open.
    void accept() override;

    struct Channel {
        QRadioButton* none = nullptr;
        QRadioButton* fullScale = nullptr;
        QLineEdit* fullScaleVolts = nullptr;
        QRadioButton* measure = nullptr;
        QLineEdit* appliedVolts = nullptr;
        QLabel* reading = nullptr;
    };
    std::array<Channel, 2> channels;
    QLabel* message = nullptr;

private:
    // The full scale the channel's fields give, or the reason there is none.
    std::optional<double> fullScaleOf(int channel, QString& problem) const;

    RmsSource rms_;
    std::array<double, 2> accepted_{0.0, 0.0};
};

// A voltage typed by the user: the locale's or a plain decimal point, with
// or without a unit ("1.5", "1,5 V", "775 mV"); nothing when it is no number.
std::optional<double> parseVolts(const QString& text);

}  // namespace varmolen
