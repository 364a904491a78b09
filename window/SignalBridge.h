// SIGINT and SIGTERM close the main window exactly as its close box does, so
// that the settings are saved and the process exits normally. The signal
// handler only writes a byte into a pipe; the window is closed from the
// event loop, where closing is safe. A box or dialog that waits for a click
// runs a loop of its own: it is closed first, so the signal is not lost
// behind it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QSocketNotifier;

namespace varmolen {

class SignalBridge : public QObject {
    Q_OBJECT
public:
    // Installs the handlers for SIGINT and SIGTERM; closes `window` on either.
    explicit SignalBridge(QWidget* window, QObject* parent = nullptr);
    ~SignalBridge() override;

    bool installed() const { return notifier_ != nullptr; }
    // A signal came: a program not yet running its window does not start it.
    bool signalled() const { return signalled_; }

private:
    void onSignal();

    QPointer<QWidget> window_;
    QSocketNotifier* notifier_ = nullptr;
    bool signalled_ = false;
};

}  // namespace varmolen
