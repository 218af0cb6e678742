#include "DelayProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>

namespace {
const size_t kChunkBytes = 65536;
const int kAcceptPollMs = 100;
const int kBacklog = 16;

void noDelay(int fd)
{
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool sendAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}
} // namespace

// One direction of one connection: a reader that stamps each chunk with the
// time it is due, and a writer that sends it then.
class DelayProxy::Direction
{
public:
    Direction(int from, int to, std::chrono::microseconds delay) : from(from), to(to), delay(delay) {}
    ~Direction()
    {
        ::shutdown(from, SHUT_RDWR);
        if (reader.joinable())
            reader.join();
        if (writer.joinable())
            writer.join();
    }
    void start()
    {
        reader = std::thread([this] { read(); });
        writer = std::thread([this] { write(); });
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Chunk
    {
        Clock::time_point due;
        std::string bytes;
    };

    void read()
    {
        std::string buffer(kChunkBytes, '\0');
        for (;;) {
            const ssize_t n = ::recv(from, &buffer[0], buffer.size(), 0);
            if (n < 0 && errno == EINTR)
                continue;
            std::lock_guard<std::mutex> lock(mutex);
            if (n <= 0) {
                ended = true;
                arrived.notify_one();
                return;
            }
            chunks.push_back({Clock::now() + delay, buffer.substr(0, size_t(n))});
            arrived.notify_one();
        }
    }
    void write()
    {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock<std::mutex> lock(mutex);
                arrived.wait(lock, [this] { return ended || !chunks.empty(); });
                if (chunks.empty()) {
                    // The sender closed: so does this side, after the last byte.
                    ::shutdown(to, SHUT_WR);
                    return;
                }
                chunk = std::move(chunks.front());
                chunks.pop_front();
            }
            std::this_thread::sleep_until(chunk.due);
            if (!sendAll(to, chunk.bytes.data(), chunk.bytes.size())) {
                ::shutdown(from, SHUT_RDWR);
                return;
            }
        }
    }

    int from;
    int to;
    std::chrono::microseconds delay;
    std::thread reader;
    std::thread writer;
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<Chunk> chunks;
    bool ended = false;
};

DelayProxy::DelayProxy(const std::string &targetHost, int port, std::chrono::microseconds oneWayDelay)
    : host(targetHost), targetPort(port), delay(oneWayDelay)
{
}

DelayProxy::~DelayProxy()
{
    stop();
}

bool DelayProxy::listen(int port)
{
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(listener, kBacklog) != 0
        || getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        message = std::strerror(errno);
        return false;
    }
    boundPort = ntohs(address.sin_port);
    return true;
}

void DelayProxy::serve()
{
    while (!stopping) {
        pollfd waiting{listener, POLLIN, 0};
        if (::poll(&waiting, 1, kAcceptPollMs) <= 0)
            continue;
        const int client = ::accept(listener, nullptr, nullptr);
        if (client >= 0)
            relay(client);
    }
}

void DelayProxy::relay(int client)
{
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(targetPort));
    inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    if (server < 0 || ::connect(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(client);
        if (server >= 0)
            ::close(server);
        return;
    }
    noDelay(client);
    noDelay(server);
    auto up = std::make_shared<Direction>(client, server, delay);
    auto down = std::make_shared<Direction>(server, client, delay);
    up->start();
    down->start();
    std::lock_guard<std::mutex> lock(mutex);
    directions.push_back(up);
    directions.push_back(down);
    sockets.push_back(client);
    sockets.push_back(server);
}

void DelayProxy::stop()
{
    stopping = true;
    std::lock_guard<std::mutex> lock(mutex);
    directions.clear();   // each shuts its socket down and joins its threads
    for (int fd : sockets)
        ::close(fd);
    sockets.clear();
    if (listener >= 0)
        ::close(listener);
    listener = -1;
}
