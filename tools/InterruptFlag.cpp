#include "InterruptFlag.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <ctime>

#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t interrupted = 0;
// A signal handler may only write to a descriptor: the byte it writes to
// wake[0] wakes a notifier on wake[1].
int wake[2] = {-1, -1};
const int kSliceMs = 50;
const long kNanosPerMs = 1000000L;

void onSignal(int)
{
    interrupted = 1;
    if (wake[0] >= 0) {
        const char byte = 1;
        const ssize_t written = ::write(wake[0], &byte, 1);
        (void)written;
    }
}
} // namespace

void InterruptFlag::install()
{
    if (wake[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, wake) != 0)
        wake[0] = wake[1] = -1; // the flag alone still works
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool InterruptFlag::raised()
{
    return interrupted != 0;
}

bool InterruptFlag::sleep(int ms)
{
    for (int left = ms; left > 0 && !raised(); left -= kSliceMs) {
        const int slice = left < kSliceMs ? left : kSliceMs;
        const timespec pause = {0, slice * kNanosPerMs};
        nanosleep(&pause, nullptr);   // a signal cuts the slice short
    }
    return !raised();
}

void InterruptFlag::blockOnThisThread(bool block)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

void InterruptFlag::quitEventLoopOnInterrupt()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || wake[1] < 0)
        return;
    auto *notifier = new QSocketNotifier(wake[1], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, &QCoreApplication::quit);
    if (raised()) // interrupted before the loop was set up
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
}
