// What the rocker and the lever toggle switch share: a checked state that a
// left click (press and release on the switch) or the space bar flips,
// emitting clicked(); setChecked from the program emits nothing. Subclasses
// paint and say what the accessible description reads in each position.
#pragma once

#include <QWidget>

namespace varmolen {

class SwitchBase : public QWidget {
    Q_OBJECT
public:
    explicit SwitchBase(QWidget* parent = nullptr);

    bool isChecked() const { return checked_; }
    void setChecked(bool checked);  // from the program: emits nothing

signals:
    void clicked();

protected:
    // Text for assistive technology in the given position.
    virtual QString positionText(bool checked) const = 0;
    // Call after something that positionText depends on has changed.
    void refreshPositionText();

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    bool checked_ = false;

private:
    void toggleByUser();

    bool pressed_ = false;
};

}  // namespace varmolen
