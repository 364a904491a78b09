// Options > Remote Control...: whether the instrument listens for remote
// commands, on which port and at which address. Any address but this
// computer's own (127.0.0.1, ::1) shows a warning: whoever can reach it can
// control the instrument and read what it records.
#pragma once

#include <QDialog>

#include "state/FeatureSettings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace varmolen {

class RemoteDialog : public QDialog {
public:
    explicit RemoteDialog(QWidget* parent);

    // Shows the settings.
    void load(const FeatureSettings& settings);
    // The dialog's choices written into the settings (the address only when
    // it is one; otherwise false and the settings keep theirs).
    bool store(FeatureSettings& settings) const;

    QCheckBox* enabledBox() const { return enabled_; }
    QSpinBox* portBox() const { return port_; }
    QLineEdit* addressEdit() const { return address_; }
    QLabel* warningLabel() const { return warning_; }

private:
    void showWarning();

    QCheckBox* enabled_ = nullptr;
    QSpinBox* port_ = nullptr;
    QLineEdit* address_ = nullptr;
    QLabel* warning_ = nullptr;
};

// Only this computer can connect to the address.
bool isLoopbackAddress(const QString& address);

}  // namespace varmolen
