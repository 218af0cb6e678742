#include "PanelServer.h"

#include <QFile>
#include <QHostAddress>

#include <httplib.h>

#include <chrono>
#include <cmath>

#include "PanelPoller.h"
#include "RecordOutput.h"
#include "SymbolLeaf.h"
#include "SymbolTable.h"
#include "SymbolTags.h"

namespace {
// Stream clients plus room for page loads, snapshots and writes beside them:
// every open connection holds one server thread.
const int kSpareThreads = 16;
// A stream client hears at least this often, so that a closed one is noticed.
const int kStreamKeepAliveMs = 2000;
// A stream client gets every poll, but at most one every this many ms: when
// polls come faster (--interval below it), it gets the latest poll each time.
// No page can show more, and 16 clients then cost the polling next to nothing.
const auto kMinEventGap = std::chrono::milliseconds(10);
// How long closing waits for the stream clients' ends, and how often it looks.
const auto kStreamEndWait = std::chrono::seconds(3);
const auto kStreamEndPoll = std::chrono::milliseconds(10);
const auto kListenWait = std::chrono::seconds(3);
const time_t kSocketTimeoutSeconds = 5;
const time_t kKeepAliveSeconds = 2;
const int kWriteWaitMs = 10000;
const int kDefaultHttpPort = 80;

const char kGet[] = "GET";
const char kPost[] = "POST";
const char kText[] = "text/plain; charset=utf-8";
const char kJson[] = "application/json";

// The paths the panel serves and the one method each takes.
const std::map<std::string, std::string> kRoutes = {
    {"/", kGet},           {"/panel.js", kGet},        {"/panel.css", kGet},
    {"/uPlot.iife.min.js", kGet}, {"/uPlot.min.css", kGet}, {"/api/tags", kGet},
    {"/api/stream", kGet}, {"/api/history.csv", kGet}, {"/api/write", kPost},
};

// The page and its assets as built into the binary: path, resource, type.
struct Asset
{
    const char *path;
    const char *resource;
    const char *type;
};
const Asset kAssets[] = {
    {"/", ":/panel/index.html", "text/html; charset=utf-8"},
    {"/panel.js", ":/panel/panel.js", "text/javascript; charset=utf-8"},
    {"/panel.css", ":/panel/panel.css", "text/css; charset=utf-8"},
    {"/uPlot.iife.min.js", ":/panel/uPlot.iife.min.js", "text/javascript; charset=utf-8"},
    {"/uPlot.min.css", ":/panel/uPlot.min.css", "text/css; charset=utf-8"},
};

// A refusal: status and one line saying why.
void refuse(httplib::Response &res, int status, const QString &why)
{
    res.status = status;
    res.set_header("Connection", "close");
    res.set_content(RecordOutput::utf8(why) + "\n", kText);
}

// The text of a JSON element as the command line would give it, so that
// ValueParser judges page and command line alike. A number that is a whole
// number, however written (1e2, 100.0), is given as one, so that it fits an
// integer tag. False for anything that cannot be a value (objects, arrays, null).
bool valueText(const RecordOutput::Json &v, QString *text)
{
    if (v.is_string()) {
        *text = QString::fromStdString(v.get<std::string>());
    } else if (v.is_boolean()) {
        *text = v.get<bool>() ? QStringLiteral("true") : QStringLiteral("false");
    } else if (v.is_number_float()) {
        const double d = v.get<double>();
        // Every digit of a whole double is exact in fixed notation.
        *text = std::isfinite(d) && d == std::trunc(d) ? QString::number(d, 'f', 0)
                                                      : QString::fromStdString(v.dump());
    } else if (v.is_number()) {
        *text = QString::fromStdString(v.dump());   // integers exact
    } else {
        return false;
    }
    return true;
}

void refuseTooLarge(httplib::Response &res)
{
    refuse(res, 413, QStringLiteral("request body larger than %1 bytes").arg(PanelServer::kMaxBodyBytes));
}

// A POST body is judged by its headers before any of it is read: without a
// length (and not chunked) its end is unknown, and a declared length over the
// limit is refused at once rather than read and thrown away.
bool refuseBody(const httplib::Request &req, httplib::Response &res)
{
    if (req.method != kPost)
        return false;
    if (req.has_header("Transfer-Encoding"))
        return false;   // chunked: counted as it arrives
    if (!req.has_header("Content-Length")) {
        refuse(res, 411, QStringLiteral("a POST needs a Content-Length"));
        return true;
    }
    bool ok = false;
    const qulonglong length = QString::fromStdString(req.get_header_value("Content-Length")).toULongLong(&ok);
    if (!ok || length > PanelServer::kMaxBodyBytes) {
        refuseTooLarge(res);
        return true;
    }
    return false;
}

QString hostWithPort(const QHostAddress &address, int port)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return QStringLiteral("%1:%2").arg(host).arg(port);
}
} // namespace

PanelServer::PanelServer(PanelPoller *tagPoller, const QList<TagList::Entry> &tagEntries,
                         const Options &serverOptions)
    : poller(tagPoller), entries(tagEntries), options(serverOptions),
      server(std::make_unique<httplib::Server>())
{
    // The page lives in a static library's resources, which the linker
    // keeps only when something names them.
    Q_INIT_RESOURCE(panel);
    for (const Asset &a : kAssets) {
        QFile file(QString::fromLatin1(a.resource));
        if (file.open(QIODevice::ReadOnly))
            assets[a.path] = {a.type, file.readAll().toStdString()};
    }
    server->new_task_queue = [] { return new httplib::ThreadPool(kMaxStreams + kSpareThreads); };
    server->set_payload_max_length(kMaxBodyBytes);
    server->set_read_timeout(kSocketTimeoutSeconds);
    server->set_write_timeout(kSocketTimeoutSeconds);
    server->set_keep_alive_timeout(kKeepAliveSeconds);
    // One request per connection: a refused request's body is never read,
    // and httplib would take its bytes for the next request.
    server->set_keep_alive_max_count(1);
    // The token travels in the page's address, so it must never leave in a
    // Referer; nothing is cached, nothing is loaded from anywhere else.
    server->set_default_headers({
        {"Cache-Control", "no-store"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
        {"Content-Security-Policy",
         "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; base-uri 'none'"},
    });
    route();
}

PanelServer::~PanelServer()
{
    stop();
}

bool PanelServer::bind(QString *error)
{
    const std::string host = RecordOutput::utf8(options.address);
    boundPort = options.port == 0 ? server->bind_to_any_port(host)
                                  : (server->bind_to_port(host, options.port) ? options.port : -1);
    if (boundPort <= 0) {
        *error = QStringLiteral("cannot listen on %1").arg(hostWithPort(QHostAddress(options.address), options.port));
        return false;
    }
    return true;
}

QString PanelServer::url() const
{
    QString text = QStringLiteral("http://%1/").arg(hostWithPort(QHostAddress(options.address), boundPort));
    if (options.writable)
        text += QStringLiteral("?token=") + options.token;
    return text;
}

void PanelServer::start()
{
    listener = std::thread([this] { server->listen_after_bind(); });
    // stop() does nothing to a server that is not running yet, so stop()
    // right after start() would leave the listener for ever: wait until it runs.
    const auto until = std::chrono::steady_clock::now() + kListenWait;
    while (!server->is_running() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(kStreamEndPoll);
}

void PanelServer::stop()
{
    // Stream clients are let go first, each with the end of its stream: once
    // the server stops, it would cut them off without one.
    closing = true;
    const auto until = std::chrono::steady_clock::now() + kStreamEndWait;
    while (streams > 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(kStreamEndPoll);
    if (server)
        server->stop();
    if (listener.joinable())
        listener.join();
}

bool PanelServer::sameSecret(const std::string &given, const std::string &expected)
{
    // The length is no secret; the contents are compared without an early end.
    if (given.size() != expected.size() || expected.empty())
        return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < expected.size(); ++i)
        diff |= static_cast<unsigned char>(given[i] ^ expected[i]);
    return diff == 0;
}

bool PanelServer::hostAllowed(const std::string &hostHeader) const
{
    const QString host = QString::fromStdString(hostHeader).toLower();
    QString name = host;
    int port = kDefaultHttpPort;
    const int colon = host.lastIndexOf(QLatin1Char(':'));
    if (colon > host.lastIndexOf(QLatin1Char(']'))) {
        bool ok = false;
        port = host.mid(colon + 1).toInt(&ok);
        if (!ok)
            return false;
        name = host.left(colon);
    }
    if (port != boundPort)
        return false;
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    const QHostAddress bound(options.address);
    if (name == QLatin1String("localhost"))
        return bound.isLoopback() || bound == QHostAddress::AnyIPv4 || bound == QHostAddress::AnyIPv6;
    // Only numeric addresses: a name could be any site's name pointed at
    // this machine (DNS rebinding).
    const QHostAddress named(name);
    if (named.isNull())
        return false;
    if (bound == QHostAddress::AnyIPv4 || bound == QHostAddress::AnyIPv6)
        return true;
    return named.isEqual(bound, QHostAddress::TolerantConversion)
           || (bound.isLoopback() && named.isLoopback());
}

bool PanelServer::originAllowed(const std::string &origin) const
{
    const std::string scheme = "http://";
    return origin.compare(0, scheme.size(), scheme) == 0 && hostAllowed(origin.substr(scheme.size()));
}

void PanelServer::route()
{
    server->set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        static thread_local bool niced = false;
        if (!niced) {
            niced = true;
            PanelPoller::runInBackground();
        }
        if (!hostAllowed(req.get_header_value("Host"))) {
            refuse(res, 403, QStringLiteral("Host is not this panel"));
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.has_header("Origin") && !originAllowed(req.get_header_value("Origin"))) {
            refuse(res, 403, QStringLiteral("Origin is not this panel"));
            return httplib::Server::HandlerResponse::Handled;
        }
        const auto r = kRoutes.find(req.path);
        if (r == kRoutes.end()) {
            refuse(res, 404, QStringLiteral("no such page"));
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.method != r->second && !(req.method == "HEAD" && r->second == kGet)) {
            res.set_header("Allow", r->second);
            refuse(res, 405, QStringLiteral("%1 takes %2 only")
                                 .arg(QString::fromStdString(req.path), QString::fromStdString(r->second)));
            return httplib::Server::HandlerResponse::Handled;
        }
        return refuseBody(req, res) ? httplib::Server::HandlerResponse::Handled
                                    : httplib::Server::HandlerResponse::Unhandled;
    });
    server->set_exception_handler([](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
        refuse(res, 500, QStringLiteral("internal error"));
    });

    for (const auto &a : assets) {
        const std::string path = a.first;
        server->Get(path, [this, path](const httplib::Request &, httplib::Response &res) {
            const auto &asset = assets.at(path);
            res.set_content(asset.second, asset.first.c_str());
        });
    }
    server->Get("/api/tags", [this](const httplib::Request &, httplib::Response &res) {
        const std::shared_ptr<const PanelSnapshot> snap = poller->snapshot();
        res.set_content(snap ? snap->json : std::string("{}"), kJson);
    });
    server->Get("/api/history.csv", [this](const httplib::Request &, httplib::Response &res) {
        res.set_header("Content-Disposition", "attachment; filename=\"quillmarsh-history.csv\"");
        res.set_content(poller->historyCsv(), "text/csv; charset=utf-8");
    });
    server->Get("/api/stream", [this](const httplib::Request &, httplib::Response &res) { serveStream(res); });
    server->Post("/api/write", [this](const httplib::Request &req, httplib::Response &res,
                                      const httplib::ContentReader &reader) {
        // A declared length was judged before; a chunked body is counted here
        // as it arrives.
        std::string body;
        const bool read = reader([&body](const char *data, size_t length) {
            if (body.size() + length > kMaxBodyBytes)
                return false;
            body.append(data, length);
            return true;
        });
        if (!read) {
            refuseTooLarge(res);
            return;
        }
        serveWrite(req, body, res);
    });
}

void PanelServer::serveStream(httplib::Response &res)
{
    if (streams.fetch_add(1) >= kMaxStreams) {
        --streams;
        refuse(res, 503, QStringLiteral("already %1 stream clients").arg(kMaxStreams));
        return;
    }
    auto sent = std::make_shared<quint64>(0);
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, sent](size_t, httplib::DataSink &sink) {
            std::shared_ptr<const PanelSnapshot> snap;
            if (!closing)
                snap = poller->waitNewer(*sent, kStreamKeepAliveMs);
            if (closing || !snap) {
                sink.done();
                return true;
            }
            if (snap->sequence == *sent) {
                static const char keepAlive[] = ": keep-alive\n\n";
                return sink.write(keepAlive, sizeof keepAlive - 1);
            }
            *sent = snap->sequence;
            const auto next = std::chrono::steady_clock::now() + kMinEventGap;
            if (!sink.write(snap->event.data(), snap->event.size()))
                return false;
            std::this_thread::sleep_until(next);
            return true;
        },
        [this](bool) { --streams; });
}

int PanelServer::indexAt(qint64 position) const
{
    return position >= 0 && position < entries.size() ? int(position) : -1;
}

int PanelServer::indexOf(const QString &name) const
{
    // The first tag given by that name, else the first with that label.
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i).name == name)
            return i;
    }
    for (int i = 0; i < entries.size(); ++i) {
        if (!entries.at(i).label.isEmpty() && entries.at(i).label == name)
            return i;
    }
    // A leaf also by its symbol written another way: quoted or not, any case.
    QString key, error;
    if (!SymbolTable::canonicalKey(name, &key, &error))
        return -1;
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i).leaf && entries.at(i).leaf->key == key)
            return i;
    }
    return -1;
}

void PanelServer::serveWrite(const httplib::Request &req, const std::string &text, httplib::Response &res)
{
    if (!options.writable) {
        refuse(res, 403, QStringLiteral("the panel is read-only (start it with --writable)"));
        return;
    }
    const std::string token = req.has_param("token") ? req.get_param_value("token")
                                                     : req.get_header_value("X-Token");
    if (!sameSecret(token, RecordOutput::utf8(options.token))) {
        refuse(res, 403, QStringLiteral("token missing or wrong"));
        return;
    }
    const RecordOutput::Json body = RecordOutput::Json::parse(text, nullptr, false);
    const bool byIndex = body.is_object() && body.contains("index") && body["index"].is_number_integer();
    const bool byName = body.is_object() && body.contains("tag") && body["tag"].is_string();
    if (body.is_discarded() || !(byIndex || byName) || !body.contains("values") || !body["values"].is_array()) {
        refuse(res, 400, QStringLiteral("body is not {\"index\": N or \"tag\": TEXT, \"values\": [VALUE…]}"));
        return;
    }
    const QString name = byIndex ? QString::fromStdString(body["index"].dump())
                                 : QString::fromStdString(body["tag"].get<std::string>());
    const int index = byIndex ? indexAt(body["index"].get<qint64>()) : indexOf(name);
    if (index < 0) {
        refuse(res, 400, QStringLiteral("unknown tag '%1'").arg(name));
        return;
    }
    const TagList::Entry &entry = entries.at(index);
    const RecordOutput::Json &values = body["values"];
    const int count = SymbolTags::writeCount(entry);
    if (int(values.size()) != count) {
        refuse(res, 400, QStringLiteral("tag '%1' takes %2 value(s), got %3").arg(name).arg(count).arg(values.size()));
        return;
    }
    QStringList texts;
    for (const RecordOutput::Json &v : values) {
        QString text;
        if (!valueText(v, &text)) {
            refuse(res, 400, QStringLiteral("values must be numbers, true, false or texts"));
            return;
        }
        texts << text;
    }
    // A leaf's value is encoded as its S7 type; a STRING is checked against
    // its declared length.
    QString error;
    CLabelVariable request;
    if (!SymbolTags::writeRecord(entry, texts, &request, &error)) {
        refuse(res, 400, error);
        return;
    }
    CLabelVariable result;
    CDriveExtension::Why why;
    if (!poller->write(index, request.value, request.count, &result, kWriteWaitMs, &why)) {
        refuse(res, 503, QStringLiteral("the write was not carried out within %1 ms").arg(kWriteWaitMs));
        return;
    }
    // The record as write --json prints it, with its cause and remedy.
    RecordOutput::Json answer = RecordOutput::toJson(result);
    PanelJson::setCause(answer, why, result.status);
    res.set_content(RecordOutput::utf8(RecordOutput::dump(answer)) + "\n", kJson);
}
