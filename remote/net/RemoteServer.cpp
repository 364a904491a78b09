#include "remote/net/RemoteServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace varmolen {

namespace {

// A command runs between these two: nothing else is served meanwhile, and
// whatever a command throws, the client and the server are free again after
// it; what the command would show in a box goes to the client's queue.
class CommandScope {
public:
    CommandScope(int& depth, bool& busy, RemoteBench& bench, scpi::Session& session)
        : depth_(depth), busy_(busy), bench_(bench)
    {
        ++depth_;
        busy_ = true;
        before_ = bench_.redirectMessages([&session](const std::string& text, const std::string&) {
            session.report(scpi::code::kExecutionError, QString::fromStdString(text).simplified().toStdString());
        });
    }
    ~CommandScope()
    {
        bench_.redirectMessages(std::move(before_));
        busy_ = false;
        --depth_;
    }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    int& depth_;
    bool& busy_;
    RemoteBench& bench_;
    RemoteBench::MessageSink before_;
};

}  // namespace

RemoteServer::RemoteServer(RemoteBench& bench, QObject* parent) : QObject(parent), bench_(bench)
{
    setObjectName(QStringLiteral("RemoteServer"));
    server_ = new QTcpServer(this);
    connect(server_, &QTcpServer::newConnection, this, [this] { acceptClients(); });
    waitTimer_ = new QTimer(this);
    waitTimer_->setInterval(kWaitPollMs);
    connect(waitTimer_, &QTimer::timeout, this, [this] { checkWaits(); });
    idleTimer_ = new QTimer(this);
    idleTimer_->setInterval(1000);
    connect(idleTimer_, &QTimer::timeout, this, [this] { dropIdle(); });
}

RemoteServer::~RemoteServer()
{
    // The sockets are children of this object and go with it.
    clients_.clear();
}

bool RemoteServer::apply(QString& whyNot, int portOverride)
{
    const RemoteListen f = bench_.listenSettings();
    const bool wanted = f.enabled || portOverride > 0;
    const QHostAddress address(QString::fromStdString(f.address));
    const auto port = static_cast<quint16>(portOverride > 0 ? portOverride : f.port);
    if (wanted && server_->isListening() && server_->serverAddress() == address && server_->serverPort() == port)
        return true;
    stop();
    if (!wanted)
        return true;
    if (address.isNull()) {
        whyNot = QStringLiteral("%1 is not an IP address.").arg(QString::fromStdString(f.address));
        return false;
    }
    if (!server_->listen(address, port)) {
        whyNot = server_->errorString();
        showStatus();
        return false;
    }
    showStatus();
    return true;
}

void RemoteServer::stop()
{
    server_->close();
    while (!clients_.empty())
        drop(clients_.back());
    showStatus();
}

void RemoteServer::retire()
{
    stop();
    if (commandDepth_ > 0)
        retiring_ = true;  // the command's end lets it go
    else
        delete this;
}

bool RemoteServer::listening() const { return server_->isListening(); }

std::uint16_t RemoteServer::port() const { return server_->serverPort(); }

int RemoteServer::clientCount() const
{
    return static_cast<int>(
        std::count_if(clients_.begin(), clients_.end(), [](const ClientPtr& c) { return !c->closed; }));
}

QString RemoteServer::statusText() const
{
    if (!server_->isListening())
        return {};
    const int n = clientCount();
    return QStringLiteral("Remote :%1, %2 client%3").arg(server_->serverPort()).arg(n).arg(n == 1 ? "" : "s");
}

void RemoteServer::showStatus()
{
    bench_.showStatus(statusText(), server_->isListening()
                                        ? QStringLiteral("Listening for remote commands on %1 port %2")
                                              .arg(server_->serverAddress().toString())
                                              .arg(server_->serverPort())
                                        : QString());
    bench_.setRemoteReading(!clients_.empty());
    if (clients_.empty())
        idleTimer_->stop();
    else if (!idleTimer_->isActive())
        idleTimer_->start();
}

void RemoteServer::announce(int code, const std::string& text)
{
    if (code != scpi::code::kNoError)
        for (const ClientPtr& c : clients_)
            c->session->report(code, text);
    bench_.showNotice(QString::fromStdString(text), kEventShownMs);
}

bool RemoteServer::operationsComplete() const { return bench_.operationsComplete(); }

void RemoteServer::acceptClients()
{
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        socket->setParent(this);
        if (clientCount() >= kMaxClients) {
            socket->write("-350,\"Too many clients\"\n");
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        auto client = std::make_shared<Client>();
        client->socket = socket;
        client->session = std::make_unique<scpi::Session>(table_);
        client->session->setOperationsComplete([this] { return operationsComplete(); });
        client->heard.start();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (const ClientPtr c = clientOf(socket))
                readFrom(c);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            // What it sent before it went is still carried out.
            const ClientPtr c = clientOf(socket);
            if (!c)
                return;
            c->closed = true;
            readFrom(c);
            if (c->waiting.empty() && !c->inLine && !c->busy)
                drop(c);
            showStatus();
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            // Room again for answers: lines left unread may now be served.
            if (const ClientPtr c = clientOf(socket); c && socket->bytesAvailable() > 0)
                readFrom(c);
        });
        clients_.push_back(std::move(client));
    }
    showStatus();
}

RemoteServer::ClientPtr RemoteServer::clientOf(const QTcpSocket* socket) const
{
    for (const ClientPtr& c : clients_)
        if (c->socket == socket)
            return c;
    return nullptr;
}

bool RemoteServer::connected(const ClientPtr& client) const
{
    return std::find(clients_.begin(), clients_.end(), client) != clients_.end();
}

void RemoteServer::readFrom(const ClientPtr& client)
{
    QTcpSocket* socket = client->socket;
    bool web = false;
    while (socket != nullptr && client->waiting.size() < kMaxWaitingLines && socket->bytesAvailable() > 0) {
        const QByteArray bytes = socket->read(4096);
        client->heard.restart();
        client->framer.feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                            [&client, &web](std::string_view line, bool refused) {
                                web = web || (!refused && scpi::looksLikeHttp(line));
                                client->waiting.emplace_back(line, refused);
                            });
        if (web) {
            // A browser's request (a page the user visits may send one here):
            // nothing it sent runs, neither before that line nor after it.
            client->waiting.clear();
            drop(client);
            return;
        }
    }
    postTurn(client);
}

void RemoteServer::postTurn(const ClientPtr& client)
{
    if (client->turnPosted || client->busy || (client->waiting.empty() && !client->inLine))
        return;
    client->turnPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this, weak = std::weak_ptr<Client>(client)] {
            if (const ClientPtr c = weak.lock()) {
                c->turnPosted = false;
                serve(c);
            }
        },
        Qt::QueuedConnection);
}

void RemoteServer::serve(const ClientPtr& client)
{
    // A command's own event loop: this client's lines wait for its end,
    // which gives every waiting client its turn again.
    if (commandDepth_ > 0 || !connected(client))
        return;
    QElapsedTimer turn;
    turn.start();
    while (turn.elapsed() < kTurnMs)
        if (!serveOnce(client))
            return;
    if (connected(client)) {
        readFrom(client);
        postTurn(client);
    }
}

bool RemoteServer::serveOnce(const ClientPtr& client)
{
    scpi::Session& session = *client->session;
    if (client->inLine && session.waiting() && !operationsComplete()) {
        const int limitSeconds = bench_.opcTimeoutSeconds();
        if (client->waited.elapsed() < 1000LL * limitSeconds) {
            if (!waitTimer_->isActive())
                waitTimer_->start();
            return false;  // looked at again by checkWaits
        }
        session.abandonWait(kWaitGaveUp, "readings did not follow within " + std::to_string(limitSeconds) + " s");
    }
    if (!client->inLine && client->waiting.empty()) {
        if (client->closed)
            drop(client);
        return false;
    }
    // The client stays with us until its command has returned, whatever
    // happens while it runs: `keep` holds its session. The server itself
    // stays too: retire() leaves it to the end of the command.
    const ClientPtr keep = client;
    scpi::Session::Progress progress = scpi::Session::Progress::Done;
    {
        const CommandScope scope(commandDepth_, keep->busy, bench_, session);
        QElapsedTimer turn;
        turn.start();
        session.setYield([turn] { return turn.elapsed() >= kTurnMs; });
        if (keep->inLine) {
            progress = session.resume();
        } else {
            auto [line, refused] = std::move(keep->waiting.front());
            keep->waiting.pop_front();
            if (refused) {
                session.refuseLine();
                progress = scpi::Session::Progress::Done;
            } else {
                progress = session.startLine(line);
            }
        }
    }
    if (retiring_ && commandDepth_ == 0) {
        deleteLater();
        return false;
    }
    // Everyone else waited while the command ran.
    for (const ClientPtr& other : clients_)
        if (other != keep)
            postTurn(other);
    if (!connected(keep))
        return false;  // it was let go while its command ran
    finishLine(keep, progress);
    return connected(keep) && progress != scpi::Session::Progress::Waiting;
}

void RemoteServer::finishLine(const ClientPtr& client, scpi::Session::Progress progress)
{
    using Progress = scpi::Session::Progress;
    client->inLine = progress == Progress::Waiting || progress == Progress::Yielded;
    if (progress == Progress::Waiting) {
        // A line is run on only once the readings followed: a wait that
        // comes back is the next *OPC? or *WAI of the line.
        client->waited.start();
        if (!waitTimer_->isActive())
            waitTimer_->start();
        return;
    }
    client->waited.invalidate();
    if (progress == Progress::Overflow) {
        drop(client);  // it asked for more than any answer may hold
        return;
    }
    if (progress != Progress::Done)
        return;
    const std::string answer = client->session->takeAnswer();
    QTcpSocket* socket = client->socket;
    if (socket == nullptr || client->closed)
        return;
    if (!answer.empty()) {
        socket->write(answer.data(), static_cast<qint64>(answer.size()));
        socket->flush();  // on its way now, not after the next client's turn
    }
    if (socket->bytesToWrite() > kMaxUnsentBytes)
        drop(client);  // it does not read what it asked for
}

void RemoteServer::checkWaits()
{
    bool anyWaits = false;
    for (const ClientPtr& c : std::vector<ClientPtr>(clients_)) {
        if (c->inLine && c->session->waiting()) {
            anyWaits = true;
            postTurn(c);
        }
    }
    if (!anyWaits)
        waitTimer_->stop();
}

void RemoteServer::dropIdle()
{
    const std::int64_t limitMs = 1000LL * bench_.idleSeconds();
    if (limitMs <= 0)
        return;
    for (const ClientPtr& c : std::vector<ClientPtr>(clients_))
        if (!c->busy && !c->inLine && c->waiting.empty() && c->heard.elapsed() > limitMs)
            drop(c);
}

void RemoteServer::drop(const ClientPtr& client)
{
    const auto at = std::find(clients_.begin(), clients_.end(), client);
    if (at == clients_.end())
        return;
    // A command of its may still run: the session goes with the last hold
    // on the client, after that command returns.
    const ClientPtr gone = *at;
    clients_.erase(at);
    gone->closed = true;
    gone->waiting.clear();
    if (QTcpSocket* socket = gone->socket) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    showStatus();
}

}  // namespace varmolen
