// What the rocker and the lever toggle switch share: a checked state that a
// left click (press and release on the switch) or the space bar flips,
// emitting clicked(); setChecked from the program emits nothing. Every change
// of the state, by the user or the program, is told to assistive technology.
// Subclasses paint and name the position in force.
#pragma once

#include <QWidget>

namespace varmolen {

class SwitchBase : public QWidget {
    Q_OBJECT
public:
    explicit SwitchBase(QWidget* parent = nullptr);

    bool isChecked() const { return checked_; }
    void setChecked(bool checked);  // from the program: emits nothing
    // Flips the switch as a user's click does and emits clicked() (assistive
    // technology's press and toggle actions use it).
    void click();

    // The name of a position as the panel shows it ("on", "+", "Ch 1").
    virtual QString positionText(bool checked) const = 0;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    bool checked_ = false;

private:
    void checkedChangedForAssistiveTechnology();

    bool pressed_ = false;
};

}  // namespace varmolen
