#include "InterruptFlag.h"

#include <csignal>
#include <ctime>

#include <signal.h>

namespace {
volatile std::sig_atomic_t interrupted = 0;
const int kSliceMs = 50;
const long kNanosPerMs = 1000000L;

void onSignal(int)
{
    interrupted = 1;
}
} // namespace

void InterruptFlag::install()
{
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
