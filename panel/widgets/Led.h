// A round indicator lamp with a caption beside it: lit in its on colour,
// dark (its off colour) otherwise. It takes no input. Lighting or darkening
// it is told to assistive technology.
#pragma once

#include <QColor>
#include <QPainter>
#include <QPointF>
#include <QString>
#include <QWidget>

namespace varmolen {

class Led : public QWidget {
    Q_OBJECT
public:
    explicit Led(QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    QString caption() const { return caption_; }
    void setColors(const QColor& on, const QColor& off);
    QColor currentColor() const { return checked_ ? on_ : off_; }

    bool isChecked() const { return checked_; }
    void setChecked(bool checked);

    QSize sizeHint() const override;

    // Paints a lamp of radius `rad` centred on `c`: glowing in `colour` when
    // lit, a dull tint of it otherwise. Rockers with an LED use it too.
    static void paintLamp(QPainter& p, const QPointF& c, double rad, const QColor& colour, bool lit);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
    QColor on_{255, 0, 0};
    QColor off_{128, 128, 128};
    bool checked_ = false;
};

}  // namespace varmolen
