#include "window/QtHost.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QWidget>

namespace varmolen {

void QtHost::attach(QWidget* owner, QTimer* startTimer, QTimer* timeoutTimer)
{
    owner_ = owner;
    startTimer_ = startTimer;
    timeoutTimer_ = timeoutTimer;
}

void QtHost::showMessage(const std::string& text, const std::string& caption)
{
    if (redirect_) {
        // A copy: the sink may put another in its place while it runs.
        const MessageSink sink = redirect_;
        sink(text, caption);
        return;
    }
    showBox(text, caption);
}

QtHost::MessageSink QtHost::redirectMessages(MessageSink sink)
{
    std::swap(redirect_, sink);
    return sink;
}

void QtHost::showBox(const std::string& text, const std::string& caption)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                    owner_);
    box.exec();
}

void QtHost::endApplication()
{
    if (!ending_) {
        ending_ = true;
        if (beforeEnd_)
            beforeEnd_();
    }
    // The event loop finishes once the running handlers have returned; the
    // main window is then destroyed, which saves the settings.
    QCoreApplication::quit();
}

QTimer* QtHost::timer(TimerId id) const { return id == TimerId::StartTimer ? startTimer_ : timeoutTimer_; }

void QtHost::enableTimer(TimerId id, bool enabled)
{
    QTimer* t = timer(id);
    if (t == nullptr)
        return;
    if (enabled)
        t->start();
    else
        t->stop();
}

bool QtHost::timerEnabled(TimerId id) const
{
    const QTimer* t = timer(id);
    return t != nullptr && t->isActive();
}

int QtHost::eventLoopDepth() const { return QThread::currentThread()->loopLevel(); }

void QtHost::pauseMs(int milliseconds)
{
    if (milliseconds > 0) {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
    }
}

}  // namespace varmolen
