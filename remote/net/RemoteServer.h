// Remote control: the instrument's commands served on a TCP socket, one line
// a command message, on the user-interface thread's own event loop, so a
// command runs between two display passes like a user's action and touches
// the state as one does. Off (the default) nothing listens.
//
// No client can take the instrument down or hold the others up:
// - A client's session lives until the command it sent has returned,
//   whatever happens meanwhile (it goes, another client goes, the server
//   stops, the window closes): a client that goes while its command runs is
//   only marked gone.
// - At most kMaxClients clients at a time (one more is told so and closed);
//   a client silent for [Remote] IdleSeconds is let go.
// - A client is served for at most kTurnMs at a time, a line's commands
//   included, so the display keeps drawing and every other client is
//   answered while a long line is worked through; a client whose answers it
//   does not read is dropped once they pass kMaxUnsentBytes.
// - A connection that speaks HTTP (a web page the user visits may send to
//   this port) is closed at once, and nothing it sent runs.
// - What a command would show in a message box becomes that client's error:
//   no box waits for a click while every client waits for an answer.
// - *OPC? and *WAI wait until the readings follow every earlier command
//   (the bench says when), at most [Remote] OpcTimeoutSeconds.
//
// The server works the instrument only through its RemoteBench and the rows
// of its command table, which the window fills (window/RemoteControl.cpp).
// The bench shows where it listens and how many clients are connected, and
// for a while what ended on its own. While a client is connected the bench
// makes the readings for MEASure queries even when nobody looks at them.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "remote/ScpiSession.h"
#include "remote/net/RemoteBench.h"

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace varmolen {

class RemoteServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxClients = 4;
    static constexpr std::int64_t kMaxUnsentBytes = 16 * 1024 * 1024;
    // The longest one client is served in one turn of the event loop.
    static constexpr int kTurnMs = 20;
    // Lines read ahead of the one served; beyond them the socket is left
    // unread, so a flooding client waits on its own connection.
    static constexpr std::size_t kMaxWaitingLines = 256;
    // How often a waiting *OPC? looks whether the readings followed.
    static constexpr int kWaitPollMs = 10;
    // The code and words of a wait that gave up.
    static constexpr int kWaitGaveUp = scpi::code::kDataStale;
    static constexpr int kEventShownMs = 20000;

    // A server of no commands yet: its owner adds them (commands()) before it
    // listens.
    RemoteServer(RemoteBench& bench, QObject* parent);
    ~RemoteServer() override;

    // Listens as the feature settings say: on their address and port when
    // enabled, nowhere otherwise. `portOverride` (the command line's) listens
    // on that port whatever the settings say. False, with the reason, when
    // it cannot listen.
    bool apply(QString& whyNot, int portOverride = 0);
    void stop();
    // Stops, and goes once no command of a client runs any more (at once
    // when none does).
    void retire();

    bool listening() const;
    std::uint16_t port() const;
    // Clients connected (a client that went while its command runs no more).
    int clientCount() const;
    const scpi::CommandTable& table() const { return table_; }
    // The rows of the instrument's commands are added here.
    scpi::CommandTable& commands() { return table_; }
    // Where it listens and how many clients it has (empty while nothing listens).
    QString statusText() const;
    // Something ended on its own: every client's queue gets `code` (unless
    // kNoError) with the text, and the bench's notice shows the text for
    // kEventShownMs.
    void announce(int code, const std::string& text);
    // Every earlier command's effect is in the readings: no sweep runs, an
    // armed single sweep has frozen its picture, and the readings settled
    // after the last change of acquisition or generator.
    bool operationsComplete() const;

private:
    struct Client {
        QPointer<QTcpSocket> socket;
        scpi::LineFramer framer;
        std::unique_ptr<scpi::Session> session;
        std::deque<std::pair<std::string, bool>> waiting;  // lines read, not yet served; true: refused
        bool turnPosted = false;
        bool closed = false;   // the client has gone; what it sent is still run
        bool busy = false;     // a command of its runs now
        bool inLine = false;   // a line of its is begun and not yet done (waits, or yields its turn)
        QElapsedTimer heard;   // since its last bytes
        QElapsedTimer waited;  // since its *OPC? or *WAI began to wait
    };
    using ClientPtr = std::shared_ptr<Client>;

    void acceptClients();
    void readFrom(const ClientPtr& client);
    void serve(const ClientPtr& client);
    // Runs the client's line on (or its next line) once; false when the
    // turn ends for it (it waits, or it was dropped).
    bool serveOnce(const ClientPtr& client);
    void finishLine(const ClientPtr& client, scpi::Session::Progress progress);
    void postTurn(const ClientPtr& client);
    void drop(const ClientPtr& client);
    ClientPtr clientOf(const QTcpSocket* socket) const;
    bool connected(const ClientPtr& client) const;
    void checkWaits();
    void dropIdle();
    void showStatus();

    RemoteBench& bench_;
    scpi::CommandTable table_;
    QTcpServer* server_ = nullptr;
    QTimer* waitTimer_ = nullptr;
    QTimer* idleTimer_ = nullptr;
    std::vector<ClientPtr> clients_;
    int commandDepth_ = 0;  // commands running now (a command's own event loop may start one more)
    bool retiring_ = false;
};

}  // namespace varmolen
