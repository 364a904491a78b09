// The status bar's five panels (display type, cursor, threshold, input,
// markers), and a notice at its right end for what went wrong or ended on
// its own, where no box should wait for a click.
#pragma once

#include <QString>

class QLabel;
class QObject;
class QTimer;

namespace varmolen {

struct StatusWidgets;

class StatusPanels {
public:
    // How long the status bar says that a first start could not set up the
    // install folder.
    static constexpr int kFirstRunNoticeMs = 30000;

    // The widgets are the window's, filled in when its panel is built;
    // `owner` keeps the notice's timer.
    StatusPanels(QObject& owner, const StatusWidgets& widgets) : owner_(owner), widgets_(widgets) {}

    // Panels 0..4 (nullptr for any other index).
    QLabel* panel(int index) const;
    void setText(int index, const QString& text);
    QString text(int index) const;
    // A notice for `ms`; the five panels stay as they are. The last notice
    // replaces the one before.
    void showNotice(const QString& text, int ms);
    QString notice() const;

private:
    QObject& owner_;
    const StatusWidgets& widgets_;
    QLabel* noticePanel_ = nullptr;  // made with the first notice
    QTimer* noticeTimer_ = nullptr;
};

}  // namespace varmolen
