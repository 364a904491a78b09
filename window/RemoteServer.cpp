#include "window/RemoteServer.h"

#include <QHostAddress>
#include <QLabel>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

#include "window/MeasureControls.h"
#include "window/RemoteDialog.h"
#include "window/Varmolen2.h"

namespace varmolen {

RemoteServer::RemoteServer(TScopeForm& form) : QObject(&form), form_(form)
{
    setObjectName(QStringLiteral("RemoteServer"));
    runDialog = [](RemoteDialog& dialog) { return dialog.exec(); };
    addSettingCommands(table_, form, this);
    addDataCommands(table_, form, choices_);
    addGeneratorCommands(table_, form);
    server_ = new QTcpServer(this);
    connect(server_, &QTcpServer::newConnection, this, [this] { acceptClients(); });
    statusLabel_ = new QLabel(&form);
    statusLabel_->setObjectName(QStringLiteral("RemotePanel"));
    statusLabel_->hide();
    if (QStatusBar* bar = form.controls().status.StatusBar1)
        bar->addPermanentWidget(statusLabel_);
}

RemoteServer::~RemoteServer()
{
    // The sockets are children of this object and go with it.
    clients_.clear();
}

bool RemoteServer::apply(QString& whyNot, int portOverride)
{
    const FeatureSettings& f = form_.state().features;
    const bool wanted = f.remoteEnabled || portOverride > 0;
    const QHostAddress address(QString::fromStdString(f.remoteListen));
    const auto port = static_cast<quint16>(portOverride > 0 ? portOverride : f.remotePort);
    if (wanted && server_->isListening() && server_->serverAddress() == address && server_->serverPort() == port)
        return true;
    stop();
    if (!wanted)
        return true;
    if (address.isNull()) {
        whyNot = QStringLiteral("%1 is not an IP address.").arg(QString::fromStdString(f.remoteListen));
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
        drop(clients_.back()->socket);
    showStatus();
}

bool RemoteServer::listening() const { return server_->isListening(); }

std::uint16_t RemoteServer::port() const { return server_->serverPort(); }

QString RemoteServer::statusText() const
{
    if (!server_->isListening())
        return {};
    return QStringLiteral("Remote :%1, %2 client%3")
        .arg(server_->serverPort())
        .arg(clients_.size())
        .arg(clients_.size() == 1 ? "" : "s");
}

void RemoteServer::showStatus()
{
    const QString text = statusText();
    statusLabel_->setText(text);
    statusLabel_->setVisible(!text.isEmpty());
    statusLabel_->setToolTip(server_->isListening() ? QStringLiteral("Listening for remote commands on %1 port %2")
                                                          .arg(server_->serverAddress().toString())
                                                          .arg(server_->serverPort())
                                                    : QString());
    form_.measure().setRemoteReading(!clients_.empty());
}

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
        auto client = std::make_unique<Client>();
        client->socket = socket;
        client->session = std::make_unique<scpi::Session>(table_);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (Client* c = clientOf(socket))
                readFrom(*c);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            // What it sent before it went is still carried out.
            Client* c = clientOf(socket);
            if (c == nullptr)
                return;
            c->closed = true;
            readFrom(*c);
            if (c->waiting.empty())
                drop(socket);
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            // Room again for answers: lines left unread may now be served.
            if (Client* c = clientOf(socket); c != nullptr && socket->bytesAvailable() > 0)
                readFrom(*c);
        });
        clients_.push_back(std::move(client));
    }
    showStatus();
}

RemoteServer::Client* RemoteServer::clientOf(QTcpSocket* socket)
{
    for (const std::unique_ptr<Client>& c : clients_)
        if (c->socket == socket)
            return c.get();
    return nullptr;
}

void RemoteServer::readFrom(Client& client)
{
    QTcpSocket* socket = client.socket;
    while (socket != nullptr && client.waiting.size() < kMaxWaitingLines && socket->bytesAvailable() > 0) {
        const QByteArray bytes = socket->read(4096);
        client.framer.feed(
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
            [&client](std::string_view line, bool refused) { client.waiting.emplace_back(line, refused); });
    }
    postTurn(client);
}

void RemoteServer::postTurn(Client& client)
{
    if (client.turnPosted || client.waiting.empty())
        return;
    client.turnPosted = true;
    QMetaObject::invokeMethod(
        this, [this, socket = client.socket] { serve(socket); }, Qt::QueuedConnection);
}

void RemoteServer::serve(QTcpSocket* socket)
{
    Client* client = clientOf(socket);
    if (client == nullptr)
        return;
    client->turnPosted = false;
    if (commandRunning_) {
        // A command's own event loop: this client's lines wait for its end,
        // which gives every waiting client its turn again.
        return;
    }
    for (int n = 0; n < kLinesPerTurn; ++n) {
        client = clientOf(socket);
        if (client == nullptr)
            return;
        if (client->waiting.empty())
            break;
        auto [line, refused] = std::move(client->waiting.front());
        client->waiting.pop_front();
        std::string answer;
        commandRunning_ = true;
        if (refused)
            client->session->refuseLine();
        else
            answer = client->session->handleLine(line);
        commandRunning_ = false;
        for (const std::unique_ptr<Client>& other : clients_)
            if (other->socket != socket)
                postTurn(*other);
        if (clientOf(socket) == nullptr)
            return;  // it went while its command ran
        if (!answer.empty())
            socket->write(answer.data(), static_cast<qint64>(answer.size()));
        if (socket->bytesToWrite() > kMaxUnsentBytes) {
            // It does not read what it asked for.
            drop(socket);
            return;
        }
    }
    client = clientOf(socket);
    if (client == nullptr)
        return;
    readFrom(*client);
    if (client->closed && client->waiting.empty())
        drop(socket);
    else
        postTurn(*client);
}

void RemoteServer::drop(QTcpSocket* socket)
{
    const auto at = std::find_if(clients_.begin(), clients_.end(),
                                 [socket](const std::unique_ptr<Client>& c) { return c->socket == socket; });
    if (at == clients_.end())
        return;
    clients_.erase(at);
    if (socket != nullptr) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    showStatus();
}

RemoteServer& remoteServerOf(TScopeForm& form)
{
    auto* server = form.findChild<RemoteServer*>(QStringLiteral("RemoteServer"), Qt::FindDirectChildrenOnly);
    if (server == nullptr)
        server = new RemoteServer(form);
    return *server;
}

}  // namespace varmolen
