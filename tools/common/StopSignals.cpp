#include "StopSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <chrono>
#include <csignal>

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t stopRequested = 0;
// A signal handler may only write to a descriptor: the byte it writes to
// wake[0] wakes a notifier on wake[1].
int wake[2] = {-1, -1};

void onSignal(int)
{
    stopRequested = 1;
    if (wake[0] >= 0) {
        const char byte = 1;
        const ssize_t written = ::write(wake[0], &byte, 1);
        (void)written;
    }
}
} // namespace

void StopSignals::install()
{
    if (wake[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, wake) != 0)
        wake[0] = wake[1] = -1; // the flag alone still works
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopSignals::requested()
{
    return stopRequested != 0;
}

bool StopSignals::waitFor(int ms)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
    while (!requested()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0)
            break;
        // The handler's byte on the wake descriptor, or the signal itself
        // (EINTR), ends the wait early.
        pollfd watched = {wake[1], POLLIN, 0};
        ::poll(wake[1] >= 0 ? &watched : nullptr, wake[1] >= 0 ? 1 : 0, int(left));
    }
    return !requested();
}

void StopSignals::blockOnThisThread(bool block)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

void StopSignals::quitEventLoopOnStop()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || wake[1] < 0)
        return;
    auto *notifier = new QSocketNotifier(wake[1], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, &QCoreApplication::quit);
    if (requested()) // stopped before the loop was set up
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
}
