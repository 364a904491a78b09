// The remote-control server on its own, on a real loopback socket, with a
// bench of the test's in place of the window: everything it needs of the
// instrument comes through the bench (where to listen, fresh readings, the
// time an *OPC? may wait), and everything it tells it goes there (its
// status, the readings wanted for clients, the messages of a command).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "remote/net/RemoteServer.h"
#include "tests/remote/SocketClient.h"

namespace varmolen::test {
namespace {

class TestBench final : public RemoteBench {
public:
    RemoteListen listen{true, "127.0.0.1", 0};
    std::int32_t opcSeconds = 30;
    bool complete = true;
    bool reading = false;
    QString status;
    MessageSink sink;
    std::vector<std::string> boxes;  // what was shown in a box

    // What the instrument does to say something: a box, unless redirected.
    void say(const std::string& text)
    {
        if (sink)
            sink(text, "Caption");
        else
            boxes.push_back(text);
    }

    RemoteListen listenSettings() const override { return listen; }
    std::int32_t idleSeconds() const override { return 0; }
    std::int32_t opcTimeoutSeconds() const override { return opcSeconds; }
    bool operationsComplete() const override { return complete; }
    void setRemoteReading(bool on) override { reading = on; }
    void showNotice(const QString&, int) override {}
    void showStatus(const QString& text, const QString&) override { status = text; }
    MessageSink redirectMessages(MessageSink next) override { return std::exchange(sink, std::move(next)); }
};

TEST(RemoteServerTest, TellsItsBenchWhatItDoesAndRedirectsACommandsMessages)
{
    TestBench bench;
    RemoteServer server(bench, nullptr);
    server.commands().add("BOX", 0, [&bench](scpi::Call&) { bench.say("Device busy"); });
    QString whyNot;
    ASSERT_TRUE(server.apply(whyNot)) << whyNot.toStdString();
    ASSERT_TRUE(server.listening());
    EXPECT_EQ(bench.status, QStringLiteral("Remote :%1, 0 clients").arg(server.port()));
    EXPECT_FALSE(bench.reading);

    {
        Client client(server.port());
        ASSERT_TRUE(waitFor([&] { return server.clientCount() == 1; }));
        EXPECT_TRUE(bench.reading);
        EXPECT_EQ(bench.status, QStringLiteral("Remote :%1, 1 client").arg(server.port()));
        EXPECT_EQ(client.ask("BOX;SYST:ERR?"), "-200,\"Execution error;Device busy\"");
        EXPECT_TRUE(bench.boxes.empty());
        EXPECT_FALSE(bench.sink) << "the boxes are back once the command has run";
    }
    ASSERT_TRUE(waitFor([&] { return server.clientCount() == 0; }));
    EXPECT_FALSE(bench.reading);

    bench.listen.enabled = false;
    EXPECT_TRUE(server.apply(whyNot));
    EXPECT_FALSE(server.listening());
    EXPECT_TRUE(bench.status.isEmpty());
}

TEST(RemoteServerTest, OpcWaitsAsTheBenchSaysAndGivesUpAfterItsTime)
{
    TestBench bench;
    RemoteServer server(bench, nullptr);
    QString whyNot;
    ASSERT_TRUE(server.apply(whyNot)) << whyNot.toStdString();
    Client client(server.port());

    bench.complete = false;
    EXPECT_EQ(client.ask("*OPC?", 300), "") << "the readings have not followed";
    bench.complete = true;
    EXPECT_EQ(client.answer(), "1");

    bench.complete = false;
    bench.opcSeconds = 0;
    EXPECT_EQ(client.ask("*OPC?;SYST:ERR?").substr(0, 5), std::to_string(RemoteServer::kWaitGaveUp) + ",");
}

}  // namespace
}  // namespace varmolen::test
