// A lever toggle switch with the name of its checked position printed above
// it and the name of its unchecked position below; the lever points at the
// position in force. A click or the space key flips it and emits clicked();
// setChecked from the program emits nothing.
#pragma once

#include <QString>
#include <QWidget>

namespace varmolen {

class ToggleSwitch : public QWidget {
    Q_OBJECT
public:
    explicit ToggleSwitch(QWidget* parent = nullptr);

    void setLabels(const QString& checkedLabel, const QString& uncheckedLabel);
    QString checkedLabel() const { return checkedLabel_; }
    QString uncheckedLabel() const { return uncheckedLabel_; }

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

    QString checkedLabel_;
    QString uncheckedLabel_;
    bool checked_ = false;
    bool pressed_ = false;
};

}  // namespace varmolen
