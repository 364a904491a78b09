#include "window/SignalBridge.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varmolen {

namespace {

// The write end of the pipe the handlers signal through. A signal handler
// can reach nothing else, so this one descriptor is process-wide by nature.
volatile int gSignalWriteFd = -1;
int gSignalReadFd = -1;

extern "C" void onTerminationSignal(int)
{
    const int fd = gSignalWriteFd;
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
}

}  // namespace

SignalBridge::SignalBridge(QWidget* window, QObject* parent) : QObject(parent), window_(window)
{
    if (gSignalWriteFd < 0) {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            return;
        ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
        ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
        gSignalReadFd = fds[1];
        gSignalWriteFd = fds[0];
    }
    notifier_ = new QSocketNotifier(gSignalReadFd, QSocketNotifier::Read, this);
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
    while (::read(gSignalReadFd, buffer, sizeof buffer) > 0) {
    }
    signalled_ = true;
    // Boxes over boxes are closed from the top; one that refuses to close
    // ends the walk.
    for (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr;) {
        modal->close();
        QWidget* next = QApplication::activeModalWidget();
        if (next == modal)
            break;
        modal = next;
    }
    if (window_)
        window_->close();
}

}  // namespace varmolen
