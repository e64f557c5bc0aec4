#include "QuitOnSignal.h"

#include <QCoreApplication>

#if !defined(_WIN32)
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gSignalSockets[2] = {-1, -1};  // [0] read by the event loop, [1] written by the handler

void OnTerminationSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(gSignalSockets[1], &byte, 1);
    errno = savedErrno;
}

void DrainSignalSocket() {
    char bytes[64];
    while (read(gSignalSockets[0], bytes, sizeof(bytes)) > 0) {
    }
}

}  // namespace

void QuitOnTerminationSignals(QCoreApplication* application) {
    if (gSignalSockets[0] < 0) {
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalSockets) != 0) return;
        fcntl(gSignalSockets[0], F_SETFL, O_NONBLOCK);
        fcntl(gSignalSockets[1], F_SETFL, O_NONBLOCK);
    }
    DrainSignalSocket();  // a signal meant for an earlier application object
    auto* notifier = new QSocketNotifier(gSignalSockets[0], QSocketNotifier::Read, application);
    QObject::connect(notifier, &QSocketNotifier::activated, application, [application] {
        DrainSignalSocket();
        application->quit();
    });
    // Installed even where the shell left the signal ignored (a background job of a
    // script ignores SIGINT): asked to end, the utility ends.
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

#else

void QuitOnTerminationSignals(QCoreApplication*) {}

#endif
