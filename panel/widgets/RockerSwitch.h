// A rocker switch of the front panel, optionally with an LED that shows its
// state (e.g. lime when on, green when off), and its caption. A click or the
// space key flips it and emits clicked(); setChecked from the program emits
// nothing.
#pragma once

#include <QColor>
#include <QString>

#include "panel/widgets/SwitchBase.h"

namespace varmolen {

class RockerSwitch : public SwitchBase {
    Q_OBJECT
public:
    explicit RockerSwitch(QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    QString caption() const { return caption_; }
    // Gives the rocker an LED in these colours.
    void setLed(const QColor& on, const QColor& off);
    bool hasLed() const { return hasLed_; }

    QSize sizeHint() const override;

    QString positionText(bool checked) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
    bool hasLed_ = false;
    QColor ledOn_;
    QColor ledOff_;
};

}  // namespace varmolen
