#ifndef QUILLMARSH_PANELSERVER_H
#define QUILLMARSH_PANELSERVER_H

#include <QList>
#include <QString>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "TagList.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}
class PanelPoller;

// The panel's HTTP side: the page and its assets from the binary's
// resources, JSON snapshots, a Server-Sent Events stream of the polls, the
// history as CSV and, with writes allowed, checked writes handed to the
// poller. Every request must name the panel itself as Host (and as Origin
// when it sends one), so that no other site can reach it through the
// browser; writes also need the token.
class PanelServer
{
public:
    static constexpr int kMaxStreams = 32;
    static constexpr size_t kMaxBodyBytes = 64 * 1024;

    struct Options
    {
        // Numeric IPv4 or IPv6 address to listen on; another machine reaches
        // the panel only when the user names a wider one.
        QString address = QStringLiteral("127.0.0.1");
        int port = 8080;        // 0 picks a free port
        bool writable = false;
        QString token;          // needed for writes when writable
    };

    PanelServer(PanelPoller *poller, const QList<TagList::Entry> &entries, const Options &options);
    ~PanelServer();
    PanelServer(const PanelServer &) = delete;
    PanelServer &operator=(const PanelServer &) = delete;

    // Binds the listening socket; false with *error set.
    bool bind(QString *error);
    int port() const { return boundPort; }
    // "http://ADDRESS:PORT/", with "?token=…" when writes are allowed.
    QString url() const;
    // Serves on a thread of its own until stop().
    void start();
    // Closes the stream clients and the listening socket and joins every
    // server thread. The poller's beginStop() must come first.
    void stop();

    // Compares in time that does not depend on where the texts differ.
    static bool sameSecret(const std::string &given, const std::string &expected);

private:
    void route();
    bool hostAllowed(const std::string &hostHeader) const;
    bool originAllowed(const std::string &origin) const;
    void serveStream(httplib::Response &res);
    void serveWrite(const httplib::Request &req, const std::string &body, httplib::Response &res);
    // The tag a write names by its position in the list, or by its name,
    // label or symbol; -1 when there is none.
    int indexAt(qint64 position) const;
    int indexOf(const QString &name) const;

    PanelPoller *poller;
    const QList<TagList::Entry> entries;
    const Options options;
    std::unique_ptr<httplib::Server> server;
    std::thread listener;
    int boundPort = 0;
    std::atomic<int> streams{0};
    std::atomic<bool> closing{false};
    // Path to content type and body of the built-in page and assets.
    std::map<std::string, std::pair<std::string, std::string>> assets;
};

#endif
