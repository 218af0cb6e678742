// quillmarsh-delay-proxy: a TCP relay to one server that delays every chunk
// by a fixed time in each direction, for benchmarks over a link with a
// round trip of twice that delay.
//
//   quillmarsh-delay-proxy HOST:PORT DELAY_US [LISTEN_PORT]
//
// Prints "proxy on 127.0.0.1:PORT" once it listens; ends on SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "DelayProxy.h"

namespace {
const int kUsage = 2;
}

int main(int argc, char **argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s HOST:PORT DELAY_US [LISTEN_PORT]\n", argv[0]);
        return kUsage;
    }
    const std::string target = argv[1];
    const size_t colon = target.rfind(':');
    const int delayUs = std::atoi(argv[2]);
    if (colon == std::string::npos || delayUs < 0) {
        std::fprintf(stderr, "%s: expected HOST:PORT and a delay in microseconds\n", argv[0]);
        return kUsage;
    }
    // The signals are taken by sigwait below, not by a handler.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    DelayProxy proxy(target.substr(0, colon), std::atoi(target.c_str() + colon + 1), std::chrono::microseconds(delayUs));
    if (!proxy.listen(argc == 4 ? std::atoi(argv[3]) : 0)) {
        std::fprintf(stderr, "%s: cannot listen: %s\n", argv[0], proxy.error().c_str());
        return 1;
    }
    std::printf("proxy on 127.0.0.1:%d\n", proxy.port());
    std::fflush(stdout);
    std::thread server([&proxy] { proxy.serve(); });
    int received = 0;
    sigwait(&signals, &received);
    proxy.stop();
    server.join();
    return 0;
}
