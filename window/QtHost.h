// The core's surroundings on the Qt desktop: modal message boxes owned by the
// main window, ending the application, the two 250 ms timers and pauses.
#pragma once

#include <QPointer>

#include <functional>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/Host.h"

class QTimer;
class QWidget;

namespace varmolen {

class QtHost : public Host {
public:
    QtHost(QWidget* owner, QTimer* startTimer, QTimer* timeoutTimer);

    void showMessage(const std::string& text, const std::string& caption) override;
    void endApplication() override;
    void enableTimer(TimerId timer, bool enabled) override;
    bool timerEnabled(TimerId timer) const override;
    void pauseMs(int milliseconds) override;
    int eventLoopDepth() const override;

    // Messages are shown in boxes unless the program runs under its tests,
    // where a box would wait for a click nobody gives; then they are kept here.
    void setRecordOnly(bool recordOnly) { recordOnly_ = recordOnly; }
    const std::vector<std::pair<std::string, std::string>>& recordedMessages() const { return recorded_; }
    int endRequests() const { return endRequests_; }
    // Milliseconds the user-interface thread was paused through pauseMs.
    long long pausedMs() const { return std::accumulate(pauses_.begin(), pauses_.end(), 0LL); }

    // Runs once when a failure ends the application, before its event loop
    // is told to finish: what must not wait for the window's teardown (a
    // recording to close, and say where its file is).
    void setBeforeEnd(std::function<void()> beforeEnd) { beforeEnd_ = std::move(beforeEnd); }
    // The pauses asked for so far, in milliseconds, in order.
    const std::vector<int>& pauses() const { return pauses_; }

private:
    QTimer* timer(TimerId id) const;

    QPointer<QWidget> owner_;
    QTimer* startTimer_;
    QTimer* timeoutTimer_;
    bool recordOnly_ = false;
    std::vector<std::pair<std::string, std::string>> recorded_;
    int endRequests_ = 0;
    std::function<void()> beforeEnd_;
    std::vector<int> pauses_;
};

}  // namespace varmolen
