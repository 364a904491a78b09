// Remote control on the window, tried as a hostile client on a real socket:
// what it sends is refused with the error expected and changes nothing (no
// file, no setting, no output); no client crashes the program by going
// while its command runs, stalls the others, runs a web page's request or
// makes a box wait for a click; *RST silences the generator; and *OPC?
// waits until the readings follow the commands before it.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "tests/remote/SocketClient.h"
#include "tests/window/FakeOutputs.h"
#include "tests/window/PanelFormRig.h"
#include "window/DataCommands.h"
#include "window/MeasureControls.h"
#include "window/RemoteControl.h"
#include "acquisition/AcquisitionLoop.h"
#include "acquisition/GeneratorControl.h"
#include "persist/ConfigFile.h"

namespace varmolen::test {
namespace {

class RemoteSafetyTest : public PanelFormRig {
protected:
    void SetUp() override
    {
        PanelFormRig::SetUp();
        ASSERT_TRUE(files.isValid());
        s().features.remoteFilesFolder = files.path().toStdString();
        form->generatorPanel().setPlaybackService(outputs.service());
    }
    RemoteServer& server() { return remoteServerOf(*form); }
    std::uint16_t listen()
    {
        s().features.remoteEnabled = true;
        s().features.remotePort = 0;  // any free port
        QString whyNot;
        EXPECT_TRUE(server().apply(whyNot)) << whyNot.toStdString();
        return server().port();
    }
    QStringList names() const
    {
        return QDir(files.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    }
    // Runs acquisition on the memory device and hands it `frames` frames,
    // in buffers, serving the run loop in between.
    void record(std::uint32_t frames)
    {
        for (std::uint32_t done = 0; done < frames; done += 512) {
            device.advanceFrames(512);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }

    QTemporaryDir files;
    Outputs outputs;
};

std::string repeated(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

TEST_F(RemoteSafetyTest, HostileLinesAreRefusedAndChangeNothing)
{
    {
        QFile taken(files.filePath(QStringLiteral("taken.wav")));
        ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
        taken.write("the user's take");
    }
    ASSERT_TRUE(QFile::link(QStringLiteral("nowhere.wav"), files.filePath(QStringLiteral("dangling.wav"))));
    const struct {
        std::string line;
        int error;
    } cases[] = {
        {R"(RECord "/tmp/evil.wav")", scpi::code::kFileNameError},
        {R"(REC "../evil.wav")", scpi::code::kFileNameError},
        {R"(REC "sub/../../evil.wav")", scpi::code::kFileNameError},
        {R"(REC "evil.txt")", scpi::code::kFileNameError},
        {R"(REC "")", scpi::code::kFileNameError},
        {R"(REC "taken.wav")", scpi::code::kFileNameError},
        {R"(REC "dangling.wav")", scpi::code::kFileNameError},
        {"REC \"" + std::string(300, 'a') + ".wav\"", scpi::code::kFileNameError},
        {R"(REC "ok.wav")", scpi::code::kExecutionError},  // this device cannot be recorded
        {repeated("SOUR:VOLT -3;", 64) + "OUTP ON", scpi::code::kTooMuchData},
        {"A:B:C:D:E:F:G:H:I:J:K:L:M 1;:OUTP ON", scpi::code::kTooMuchData},
        {"SOUR:FREQ 10ms", scpi::code::kInvalidSuffix},
        {"CHAN1:GAIN 5 Hz", scpi::code::kSuffixNotAllowed},
        {"SOUR:VOLT 1e999", scpi::code::kIllegalParameterValue},
        {"*ESE 256", scpi::code::kDataOutOfRange},
        {"OUTP ON\x01", scpi::code::kInvalidCharacter},
        {"SOUR:FREQ 3000\"; OUTP ON", scpi::code::kSyntaxError},
    };
    Client client(listen());
    const ConfigValues settings = captureConfiguration(s());
    const FeatureSettings features = s().features;
    const QStringList before = names();
    for (const auto& c : cases) {
        const std::string shown = c.line.substr(0, 60);
        std::vector<std::string> texts;
        client.send(c.line);
        EXPECT_EQ(client.errors(&texts), std::vector<int>{c.error}) << shown;
        for (const std::string& t : texts)
            EXPECT_LE(t.size(), 8 + scpi::kMaxErrorTextBytes) << shown;
        EXPECT_EQ(captureConfiguration(s()), settings) << shown;
        EXPECT_EQ(s().features, features) << shown;
        EXPECT_EQ(names(), before) << shown;
        EXPECT_EQ(outputs.opened, 0) << shown;
        EXPECT_FALSE(form->generatorPanel().generator().on()) << shown;
    }
    EXPECT_EQ(QFile(files.filePath(QStringLiteral("taken.wav"))).size(), 15);
    // A folder that is not there.
    s().features.remoteFilesFolder = files.filePath(QStringLiteral("missing")).toStdString();
    client.send(R"(REC "x.wav")");
    EXPECT_EQ(client.errors(), std::vector<int>{scpi::code::kFileNameNotFound});
    EXPECT_EQ(names(), before);
    EXPECT_TRUE(form->host().recordedMessages().empty()) << "no box ever waited for a click";
}

// The crash once seen: a client's RECord failed and its box ran an event
// loop; the client went while the box was open; after OK the next line
// wrote into the freed session. Now no box opens, and a client that goes
// while its command runs (here: a command that serves events while it
// runs, during a wait for *OPC?, during a block transfer) is let go only
// once the command has returned.
TEST_F(RemoteSafetyTest, AClientThatGoesWhileItsCommandRunsCrashesNothing)
{
    form->host().setRecordOnly(false);  // a box would run its own event loop
    const std::uint16_t port = listen();
    auto one = std::make_unique<Client>(port);
    // Should a box open, the client goes while it is open, and the box is
    // closed a little later, as a person clicks OK.
    bool boxed = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget(); box != nullptr && one) {
            boxed = true;
            one.reset();
            QTimer::singleShot(300, box, &QWidget::close);
        }
    });
    watch.start(10);
    Client other(port);
    one->send(R"(RECord "nodir/x.wav")");
    EXPECT_EQ(other.ask("*IDN?").substr(0, 9), "Varmolen,");
    EXPECT_EQ(other.ask("*IDN?").substr(0, 9), "Varmolen,") << "served after the first client went";
    watch.stop();
    ASSERT_FALSE(boxed) << "a box opened for a remote command";
    EXPECT_EQ(one->errors(), std::vector<int>{scpi::code::kFileNameError});
    one.reset();
    form->host().setRecordOnly(true);

    // A command that serves events while it runs; its client goes meanwhile.
    std::unique_ptr<Client> gone;
    bool served = false;
    server().commands().add("TEST:SERVe", 0, [&](scpi::Call&) {
        gone->socket.abort();
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
        served = true;
    });
    const struct {
        const char* line;
        std::function<bool()> going;  // when the client goes
        const char* what;
    } cases[] = {
        {"TEST:SERV;*IDN?", [] { return false; }, "a command that serves events while it runs"},
        {"ACQ:SRAT 22050;*OPC?;*IDN?", [] { return false; }, "a wait for the readings"},
        {"DISP:DATA? WIND;DISP:DATA? WIND;DISP:DATA? WIND", [&] { return gone->socket.bytesAvailable() > 0; },
         "a block transfer"},
    };
    for (const auto& c : cases) {
        gone = std::make_unique<Client>(port);
        gone->send(c.line);
        waitFor(c.going, 500);
        gone->socket.abort();
        EXPECT_EQ(other.ask("*IDN?").substr(0, 9), "Varmolen,") << c.what;
        ASSERT_TRUE(waitFor([&] { return server().clientCount() == 1; })) << c.what;
        gone.reset();
    }
    EXPECT_TRUE(served);
    // The server stops while a command runs: its session outlives it.
    Client last(port);
    server().commands().add("TEST:STOP", 0, [&](scpi::Call&) { server().stop(); });
    last.send("TEST:STOP;*IDN?");
    EXPECT_TRUE(waitFor([&] { return last.socket.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_FALSE(server().listening());
}

TEST_F(RemoteSafetyTest, AnHttpRequestClosesTheConnectionAndRunsNothing)
{
    const std::uint16_t port = listen();
    const FeatureSettings features = s().features;
    // A page's request carries the commands in its body, after the headers.
    const QString script = QStringLiteral(
                               "import http.client, sys\n"
                               "c = http.client.HTTPConnection('127.0.0.1', %1, timeout=5)\n"
                               "try:\n"
                               "    c.request('POST', '/', body='\\nSOUR:VOLT -3\\nRECord \"web.wav\"\\nOUTP ON\\n',"
                               " headers={'Content-Type': 'text/plain'})\n"
                               "    print(c.getresponse().status)\n"
                               "except Exception as e:\n"
                               "    print(type(e).__name__)\n")
                               .arg(port);
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), script});
    ASSERT_TRUE(waitFor([&] { return python.state() == QProcess::NotRunning; }, 20000));
    const QString said = QString::fromUtf8(python.readAllStandardOutput()).trimmed();
    EXPECT_TRUE(said == QStringLiteral("RemoteDisconnected") || said.contains(QStringLiteral("Reset")) ||
                said.contains(QStringLiteral("BrokenPipe")))
        << said.toStdString();
    // Lines before the request line in the same read do not run either.
    QTcpSocket raw;
    raw.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(raw.waitForConnected(5000));
    raw.write("SOUR:VOLT -6\nGET / HTTP/1.1\nHost: 127.0.0.1\n\nOUTP ON\n");
    EXPECT_TRUE(waitFor([&] { return raw.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(s().features, features);
    EXPECT_FALSE(form->generatorPanel().generator().on());
    EXPECT_TRUE(names().isEmpty());
}

// A line beyond the bounds is refused before any of it runs; a long line
// within them is worked through in turns, so another client is answered
// meanwhile; a client silent for [Remote] IdleSeconds is let go.
TEST_F(RemoteSafetyTest, NoClientHoldsTheOthersUp)
{
    const std::uint16_t port = listen();
    Client heavy(port);
    Client light(port);
    heavy.send(repeated("DISP:DATA? WIND;", 1000) + "*IDN?");
    EXPECT_EQ(light.ask("SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(heavy.errors(), std::vector<int>{scpi::code::kTooMuchData});

    heavy.send(repeated("DISP:DATA? WIND;", 20) + "*IDN?");
    light.send("*IDN?");
    ASSERT_EQ(light.answer().substr(0, 9), "Varmolen,");
    EXPECT_FALSE(heavy.socket.canReadLine()) << "answered while the long line was still worked through";
    ASSERT_TRUE(waitFor([&] { return heavy.socket.canReadLine(); }, 60000));
    const QByteArray pictures = heavy.socket.readLine();
    EXPECT_TRUE(pictures.endsWith("\n"));

    s().features.remoteIdleSeconds = 1;
    Client silent(port);
    QElapsedTimer clock;
    clock.start();
    while (silent.socket.state() != QAbstractSocket::UnconnectedState && clock.elapsed() < 5000)
        EXPECT_EQ(light.ask("*IDN?").substr(0, 9), "Varmolen,") << "a client that speaks is kept";
    EXPECT_EQ(silent.socket.state(), QAbstractSocket::UnconnectedState);
    EXPECT_GE(clock.elapsed(), 1000);
}

TEST_F(RemoteSafetyTest, EndsOnTheirOwnReachEveryClientInsteadOfABox)
{
    Client a(listen());
    Client b(server().port());
    form->generatorPanel().generator().setDevice("broken");
    a.send("OUTP ON");
    ASSERT_TRUE(waitFor([&] { return outputs.opened == 1 && !form->generatorPanel().generator().on(); }));
    for (Client* c : {&a, &b}) {
        std::vector<std::string> texts;
        EXPECT_EQ(c->errors(&texts), std::vector<int>{scpi::code::kHardwareError});
        EXPECT_NE(texts.front().find("stopped working"), std::string::npos) << texts.front();
        EXPECT_EQ(c->ask("OUTP?"), "0");
    }
    EXPECT_TRUE(form->status().notice().contains(QStringLiteral("stopped working")))
        << form->status().notice().toStdString();
    EXPECT_TRUE(form->host().recordedMessages().empty());
}

TEST_F(RemoteSafetyTest, ResetSilencesTheGeneratorAndBringsBackItsStartUpValues)
{
    Client client(listen());
    EXPECT_EQ(client.ask("SOUR:VOLT 0;FUNC WHIT;FREQ 4000;:OUTP ON;OUTP?"), "1");
    EXPECT_EQ(client.ask("SWE:STAR 100;STOP 1000;:SWE:RUN;STAT?").substr(0, 2), "1,");
    client.send("*RST");
    EXPECT_EQ(client.ask("OUTP?;:SOUR:FUNC?;FREQ?;VOLT?"), "0;SIN;1000;-20");
    EXPECT_EQ(client.ask("SWE:STAT?").substr(0, 2), "0,");
    EXPECT_FALSE(form->generatorPanel().generator().on());
    EXPECT_EQ(client.errors(), std::vector<int>{});
}

// *OPC? answers once the readings follow every command before it: a rate
// change, a change of the generator, an armed single sweep; a wait that
// cannot end gives up with -230.
TEST_F(RemoteSafetyTest, OperationCompleteWaitsForFreshReadings)
{
    Client client(listen());
    form->StartBtnClick(nullptr);
    record(4 * kToneMaxRecord);
    EXPECT_EQ(client.ask("*OPC?", 2000), "1") << "nothing changed: at once";

    const std::uint64_t blocks = form->acquisition().blocksCompleted();
    client.send("ACQ:SRAT 22050;*OPC?");
    EXPECT_EQ(client.answer(300), "") << "no block recorded yet at the new rate";
    record(2 * kToneMaxRecord);
    EXPECT_EQ(client.answer(), "1");
    EXPECT_GT(form->acquisition().blocksCompleted(), blocks + 1);

    client.send("SOUR:FREQ 3000;:OUTP ON;*WAI;*IDN?");
    EXPECT_EQ(client.answer(100), "") << "the change is heard later";
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000 && !client.socket.canReadLine())
        record(512);
    EXPECT_EQ(client.answer(100).substr(0, 9), "Varmolen,");
    EXPECT_GE(clock.elapsed(), form->generatorPanel().generator().heardWithinMs());

    EXPECT_EQ(client.ask("CHAN1:DISP ON;:TRIG:STAT ON;*OPC?"), "1");
    // The hold is read in the same turn as *OPC? answers: frozen by then.
    client.send("SING;*OPC?;HOLD?");
    while (!client.socket.canReadLine() && clock.elapsed() < 20000)
        record(512);
    EXPECT_EQ(client.answer(), "1;1");

    s().features.remoteOpcTimeoutSeconds = 1;
    client.send("RUN;SING;:DISP:TYPE FREQ;*OPC?;*IDN?");
    EXPECT_EQ(client.answer(3000).substr(0, 9), "Varmolen,") << "no buffer comes: the wait gives up";
    EXPECT_EQ(client.errors(), std::vector<int>{RemoteServer::kWaitGaveUp});
}

}  // namespace
}  // namespace varmolen::test
