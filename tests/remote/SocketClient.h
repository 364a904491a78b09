// A client of the instrument's remote control on a real loopback socket,
// and the event loop served while a test waits for it.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpSocket>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace varmolen::test {

// Serves events until the condition holds (at most `ms`).
inline bool waitFor(const std::function<bool()>& condition, int ms = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

// A client on the instrument's socket.
struct Client {
    QTcpSocket socket;

    explicit Client(std::uint16_t port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        EXPECT_TRUE(socket.waitForConnected(5000));
    }
    void send(const std::string& line) { socket.write(QByteArray::fromStdString(line + "\n")); }
    // The next answer line, without its newline ("" when none came in time).
    std::string answer(int ms = 10000)
    {
        if (!waitFor([&] { return socket.canReadLine(); }, ms))
            return {};
        std::string line = socket.readLine().toStdString();
        line.pop_back();
        return line;
    }
    std::string ask(const std::string& line, int ms = 10000)
    {
        send(line);
        return answer(ms);
    }
    // The error numbers queued, oldest first; the texts in `texts`.
    std::vector<int> errors(std::vector<std::string>* texts = nullptr)
    {
        std::vector<int> out;
        for (;;) {
            const std::string entry = ask("SYST:ERR?");
            const int number = entry.empty() ? 0 : std::stoi(entry);
            if (number == 0)
                return out;
            out.push_back(number);
            if (texts != nullptr)
                texts->push_back(entry);
        }
    }
};

}  // namespace varmolen::test
