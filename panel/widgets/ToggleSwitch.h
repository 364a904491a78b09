// A lever toggle switch with the name of its checked position printed above
// it and the name of its unchecked position below; the lever points at the
// position in force. A click or the space key flips it and emits clicked();
// setChecked from the program emits nothing.
#pragma once

#include <QString>

#include "panel/widgets/SwitchBase.h"

namespace varmolen {

class ToggleSwitch : public SwitchBase {
    Q_OBJECT
public:
    explicit ToggleSwitch(QWidget* parent = nullptr);

    void setLabels(const QString& checkedLabel, const QString& uncheckedLabel);
    QString checkedLabel() const { return checkedLabel_; }
    QString uncheckedLabel() const { return uncheckedLabel_; }

    QSize sizeHint() const override;

    QString positionText(bool checked) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString checkedLabel_;
    QString uncheckedLabel_;
};

}  // namespace varmolen
