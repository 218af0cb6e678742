#ifndef QUILLMARSH_DELAYPROXY_H
#define QUILLMARSH_DELAYPROXY_H

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A TCP relay that holds every chunk of bytes for a fixed time before it
// passes it on, in each direction: a link with a round trip of twice that
// delay between the clients and one server on loopback. Each chunk leaves
// at its own arrival time plus the delay, so bytes in flight overlap as on
// a real link and the delay does not grow with the load. Plain blocking
// sockets, two threads per direction of each connection.
class DelayProxy
{
public:
    DelayProxy(const std::string &targetHost, int targetPort, std::chrono::microseconds oneWayDelay);
    ~DelayProxy();
    DelayProxy(const DelayProxy &) = delete;
    DelayProxy &operator=(const DelayProxy &) = delete;

    // Listens on 127.0.0.1:port (0: a free one); false with error() set.
    bool listen(int port);
    int port() const { return boundPort; }
    // Accepts and relays connections until stop() (from another thread).
    void serve();
    // Ends serving, every relay and its sockets.
    void stop();
    const std::string &error() const { return message; }

private:
    class Direction;
    void relay(int client);

    std::string host;
    int targetPort;
    std::chrono::microseconds delay;
    int listener = -1;
    int boundPort = 0;
    std::atomic<bool> stopping{false};
    std::string message;
    std::mutex mutex;   // guards directions and sockets
    std::vector<std::shared_ptr<Direction>> directions;
    std::vector<int> sockets;
};

#endif
