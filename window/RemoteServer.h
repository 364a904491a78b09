// Remote control: the instrument's commands served on a TCP socket, one line
// a command message, on the user-interface thread's own event loop, so a
// command runs between two display passes like a user's action and touches
// the state as one does. Off (the default) nothing listens.
//
// At most kMaxClients clients at a time (one more is told so and closed);
// each has its own error queue. A client is served a few lines per turn of
// the event loop, so a flood of queries never holds a display pass back; a
// client whose answers it does not read is dropped once they pass
// kMaxUnsentBytes. While a command runs (a message box it shows runs an event
// loop of its own), no other line is read; they wait their turn.
//
// The status bar says where it listens and how many clients are connected.
// While a client is connected the measurements are made for MEASure
// queries even when the strip is hidden.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "window/RemoteCommands.h"
#include "remote/ScpiSession.h"

class QLabel;
class QTcpServer;
class QTcpSocket;

namespace varmolen {

class RemoteDialog;
class TScopeForm;

class RemoteServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxClients = 4;
    static constexpr std::int64_t kMaxUnsentBytes = 16 * 1024 * 1024;
    // Lines served for one client in one turn of the event loop.
    static constexpr int kLinesPerTurn = 32;
    // Lines read ahead of the one served; beyond them the socket is left
    // unread, so a flooding client waits on its own connection.
    static constexpr std::size_t kMaxWaitingLines = 256;

    explicit RemoteServer(TScopeForm& form);
    ~RemoteServer() override;

    // Listens as the feature settings say: on their address and port when
    // enabled, nowhere otherwise. `portOverride` (the command line's) listens
    // on that port whatever the settings say. False, with the reason, when
    // it cannot listen.
    bool apply(QString& whyNot, int portOverride = 0);
    void stop();

    bool listening() const;
    std::uint16_t port() const;
    int clientCount() const { return static_cast<int>(clients_.size()); }
    const scpi::CommandTable& table() const { return table_; }
    // Runs Options > Remote Control's dialog modally (tests replace it).
    std::function<int(RemoteDialog& dialog)> runDialog;
    // The status bar's text (empty while nothing listens).
    QString statusText() const;

private:
    struct Client {
        QPointer<QTcpSocket> socket;
        scpi::LineFramer framer;
        std::unique_ptr<scpi::Session> session;
        std::deque<std::pair<std::string, bool>> waiting;  // lines read, not yet served; true: refused
        bool turnPosted = false;
        bool closed = false;  // the client has gone; its lines read are still run
    };

    void acceptClients();
    void readFrom(Client& client);
    void serve(QTcpSocket* socket);
    void postTurn(Client& client);
    void drop(QTcpSocket* socket);
    Client* clientOf(QTcpSocket* socket);
    void showStatus();

    TScopeForm& form_;
    scpi::CommandTable table_;
    RemoteChoices choices_;
    QTcpServer* server_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    std::vector<std::unique_ptr<Client>> clients_;
    bool commandRunning_ = false;
};

// The window's remote server, made on first use.
RemoteServer& remoteServerOf(TScopeForm& form);

}  // namespace varmolen
