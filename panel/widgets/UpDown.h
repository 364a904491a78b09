// An up-down arrow pair. Its position moves by one per arrow press within the
// range, then clicked() is emitted; setPosition from code emits nothing.
#pragma once

#include <QToolButton>
#include <QWidget>

namespace varmolen {

class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);

    int position() const { return position_; }
    void setPosition(int position);
    void setRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }

    // What an arrow press does.
    void stepUp();
    void stepDown();

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

signals:
    void clicked();

private:
    QToolButton* up_;
    QToolButton* down_;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
};

}  // namespace varmolen
