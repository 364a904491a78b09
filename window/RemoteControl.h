// Remote control on the window: the window as the bench the socket server
// works (its remote settings, readings, notices and message boxes), the
// status bar's panel that says where it listens, Options > Remote Control's
// dialog, and the server itself with the instrument's command table. The
// window makes it on first use and owns it.
#pragma once

#include <QPointer>

#include <functional>
#include <string>

#include "remote/net/RemoteServer.h"
#include "window/RemoteCommands.h"

class QLabel;

namespace varmolen {

class RemoteDialog;
class TScopeForm;

class RemoteControl final : public RemoteBench {
public:
    explicit RemoteControl(TScopeForm& form);
    ~RemoteControl() override;
    RemoteControl(const RemoteControl&) = delete;
    RemoteControl& operator=(const RemoteControl&) = delete;

    // Options > Remote Control...: the dialog of its settings
    // (window/RemoteDialog.cpp), then the server listens as they say.
    void RemoteControl1Click(QObject* sender);
    // The server, until it was retired.
    RemoteServer& server() { return *server_; }
    // It listens now (never once retired).
    bool listening() const;
    // No remote command reaches a window that is going: the server stops,
    // and goes once no command of a client runs any more.
    void retire();

    // Runs Options > Remote Control's dialog modally (tests replace it).
    std::function<int(RemoteDialog& dialog)> runDialog;

    RemoteListen listenSettings() const override;
    std::int32_t idleSeconds() const override;
    std::int32_t opcTimeoutSeconds() const override;
    // No sweep runs, an armed single sweep has frozen its picture, and the
    // readings settled after the last change of acquisition or generator.
    bool operationsComplete() const override;
    void setRemoteReading(bool on) override;
    void showNotice(const QString& text, int ms) override;
    void showStatus(const QString& text, const QString& toolTip) override;
    MessageSink redirectMessages(MessageSink sink) override;

private:
    TScopeForm& form_;
    RemoteChoices choices_;
    QPointer<QLabel> statusLabel_;
    QPointer<RemoteServer> server_;  // a child of the window; it goes by itself once retired
};

// The window's remote server, made on first use.
RemoteServer& remoteServerOf(TScopeForm& form);

// An operation that ended on its own (a recording ended by its disk, its
// device or its limit, the generator's output lost, a sweep cancelled).
// While remote control listens nobody may be at the bench to click a box:
// the status bar says it, and every client's error queue holds `code`
// (kNoError: news, no error). Otherwise a box says it, as ever, where
// `boxed`; an end the window never reported in a box stays unreported.
void announceEnd(TScopeForm& form, int code, const std::string& text, const std::string& caption, bool boxed = true);

}  // namespace varmolen
