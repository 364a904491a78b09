// SIGINT and SIGTERM close the main window exactly as its close box does, so
// that the settings are saved and the process exits normally. The signal
// handler only writes a byte into a pipe; the window is closed from the
// event loop, where closing is safe.
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

private:
    void onSignal();

    QPointer<QWidget> window_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace varmolen
