#include "window/SignalBridge.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varmolen {

namespace {

// The write end of the pipe the handlers signal through. A signal handler
// can reach nothing else, so this one descriptor is process-wide by nature.
volatile int g_signalWriteFd = -1;
int g_signalReadFd = -1;

extern "C" void onTerminationSignal(int)
{
    const int fd = g_signalWriteFd;
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
}

}  // namespace

SignalBridge::SignalBridge(QWidget* window, QObject* parent) : QObject(parent), window_(window)
{
    if (g_signalWriteFd < 0) {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            return;
        ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
        ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
        g_signalReadFd = fds[1];
        g_signalWriteFd = fds[0];
    }
    notifier_ = new QSocketNotifier(g_signalReadFd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalBridge::onSignal);

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

SignalBridge::~SignalBridge()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

void SignalBridge::onSignal()
{
    char buffer[64];
    while (::read(g_signalReadFd, buffer, sizeof buffer) > 0) {
    }
    if (window_)
        window_->close();
}

}  // namespace varmolen
