// The core's surroundings on the Qt desktop: modal message boxes owned by the
// main window, ending the application, the two 250 ms timers and pauses.
#pragma once

#include <QPointer>

#include <functional>
#include <string>
#include <utility>

#include "acquisition/Host.h"

class QTimer;
class QWidget;

namespace varmolen {

class QtHost : public Host {
public:
    QtHost() = default;
    // The window that owns the message boxes, and its two timers.
    void attach(QWidget* owner, QTimer* startTimer, QTimer* timeoutTimer);

    // A modal box, unless messages are redirected: then the sink has it.
    void showMessage(const std::string& text, const std::string& caption) final;
    void endApplication() override;
    void enableTimer(TimerId timer, bool enabled) override;
    bool timerEnabled(TimerId timer) const override;
    void pauseMs(int milliseconds) override;
    int eventLoopDepth() const override;

    // Runs once when a failure ends the application, before its event loop
    // is told to finish: what must not wait for the window's teardown (a
    // recording to close, and say where its file is).
    void setBeforeEnd(std::function<void()> beforeEnd) { beforeEnd_ = std::move(beforeEnd); }

    // Where a message goes instead of a box: while a remote client's command
    // runs, what it would show becomes that client's error, and nobody has
    // to click OK before any client gets an answer. Returns the sink it
    // replaces, which the caller puts back when its command ends; an empty
    // sink shows boxes again.
    using MessageSink = std::function<void(const std::string& text, const std::string& caption)>;
    MessageSink redirectMessages(MessageSink sink);

protected:
    // The box itself (tests keep the message instead).
    virtual void showBox(const std::string& text, const std::string& caption);

private:
    QTimer* timer(TimerId id) const;

    QPointer<QWidget> owner_;
    QTimer* startTimer_ = nullptr;
    QTimer* timeoutTimer_ = nullptr;
    bool ending_ = false;  // the application was asked to end
    std::function<void()> beforeEnd_;
    MessageSink redirect_;
};

}  // namespace varmolen
