// A rocker switch of the front panel, optionally with an LED that shows its
// state (e.g. lime when on, green when off), and its caption. A click or the
// space key flips it and emits clicked(); setChecked from the program emits
// nothing.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace varmolen {

class RockerSwitch : public QWidget {
    Q_OBJECT
public:
    explicit RockerSwitch(QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    QString caption() const { return caption_; }
    // Gives the rocker an LED in these colours.
    void setLed(const QColor& on, const QColor& off);
    bool hasLed() const { return hasLed_; }

    bool isChecked() const { return checked_; }
    void setChecked(bool checked);  // from the program: emits nothing

    QSize sizeHint() const override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void toggleByUser();

    QString caption_;
    bool hasLed_ = false;
    QColor ledOn_;
    QColor ledOff_;
    bool checked_ = false;
    bool pressed_ = false;
};

}  // namespace varmolen
