#include "PanelCommand.h"

#include <QHostAddress>
#include <QRandomGenerator>

#include <climits>
#include <cstdio>

#include "CommandLine.h"
#include "DriverSession.h"
#include "StopSignals.h"
#include "PanelPoller.h"
#include "PanelServer.h"
#include "SymbolOptions.h"
#include "SymbolTags.h"

namespace {
const int kMaxHistory = 100000;
const int kTokenWords = 4;   // 128 bits
const int kIdleSliceMs = 1000;

// "ADDRESS:PORT" with a numeric IPv4 address, or "[IPv6]:PORT".
bool parseHttp(const QString &text, QString *address, int *port, QString *error)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    *port = colon > 0 ? text.mid(colon + 1).toInt(&ok) : -1;
    if (!ok || *port < 0 || *port > CommandLine::MaxPort || QHostAddress(host).isNull()) {
        *error = QStringLiteral("--http '%1' is not ADDRESS:PORT with a numeric address and a port "
                                "from 0 to %2").arg(text).arg(CommandLine::MaxPort);
        return false;
    }
    *address = QHostAddress(host).toString();
    return true;
}

QString newToken()
{
    QString token;
    for (int i = 0; i < kTokenWords; ++i)
        token += QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
    return token;
}

} // namespace

int PanelCommand::run(const QStringList &arguments)
{
    CommandLine cl(QStringLiteral("panel"),
                   QStringLiteral("Poll tags, each ADDRESS:TYPE[:COUNT] or, with --symbols, a symbol, and show "
                                  "them live in a browser: values, trends, history as CSV, and writes with "
                                  "--writable."),
                   QStringLiteral("HOST:PORT [TAG...]"));
    cl.addTagsOption();
    const PanelServer::Options defaults;
    cl.addValueOption(QStringLiteral("http"),
                      QStringLiteral("Address and port of the page (port 0: any free port); an address "
                                     "other than loopback opens the panel to the network."),
                      QStringLiteral("ADDRESS:PORT"), QStringLiteral("%1:%2").arg(defaults.address).arg(defaults.port));
    cl.addValueOption(QStringLiteral("interval"),
                      QStringLiteral("Time between polls in ms (0: as fast as possible)."),
                      QStringLiteral("MS"), QStringLiteral("1000"));
    cl.addValueOption(QStringLiteral("history"), QStringLiteral("Polls kept for trends and the CSV."),
                      QStringLiteral("N"), QStringLiteral("600"));
    cl.addBoolOption(QStringLiteral("writable"),
                     QStringLiteral("Offer writes; they need the token printed in the page's address."));
    SymbolOptions::add(&cl);
    PollLoop::addOptions(&cl);
    cl.addPluginOption();
    cl.addDebugOption();
    cl.addConnectionOptions();
    const int done = cl.parse(arguments);
    if (done >= 0)
        return done;
    if (!DriverSession::takeOptions(cl))
        return CommandLine::BadInput;

    PanelPoller::Options pollerOptions;
    PanelServer::Options serverOptions;
    if (!cl.expectPositional(1, INT_MAX)
        || !cl.intValue(QStringLiteral("interval"), 0, CommandLine::MaxIntervalMs, &pollerOptions.intervalMs)
        || !cl.intValue(QStringLiteral("history"), 1, kMaxHistory, &pollerOptions.historyLength)
        || !PollLoop::takeOptions(cl, &pollerOptions.poll))
        return CommandLine::BadInput;
    const QStringList args = cl.positional();
    QString error;
    QList<TagList::Entry> entries;
    if (!DriverSession::checkEndpoint(args.first(), &error)
        || !parseHttp(cl.value(QStringLiteral("http")), &serverOptions.address, &serverOptions.port, &error)
        || !SymbolTags::collect(cl, args.mid(1), &entries, &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    for (const TagList::Entry &entry : entries)
        CommandLine::warn(entry.tag.note);
    pollerOptions.endpoint = args.first();
    pollerOptions.pluginPath = cl.value(QStringLiteral("plugin"));
    pollerOptions.debug = cl.isSet(QStringLiteral("debug"));
    pollerOptions.writable = serverOptions.writable = cl.isSet(QStringLiteral("writable"));
    if (serverOptions.writable)
        serverOptions.token = newToken();

    StopSignals::install();
    StopSignals::blockOnThisThread(true);
    PanelPoller poller(entries, pollerOptions);
    PanelServer server(&poller, entries, serverOptions);
    const bool started = poller.start(&error) && server.bind(&error);
    if (started)
        server.start();
    StopSignals::blockOnThisThread(false);
    if (!started)
        return CommandLine::fail(error, CommandLine::Failed);

    CommandLine::print(QStringLiteral("panel on %1").arg(server.url()));
    if (!QHostAddress(serverOptions.address).isLoopback())
        std::fprintf(stderr, "quillmarsh: warning: the panel listens on %s, open to other machines%s\n",
                     serverOptions.address.toUtf8().constData(),
                     serverOptions.writable ? " (writes need the token)" : "");
    std::fflush(stderr);

    while (StopSignals::waitFor(kIdleSliceMs)) {
    }
    // Stream clients are let go first, then the server's threads joined,
    // then the poller releases the driver on its own thread.
    poller.beginStop();
    server.stop();
    poller.stop();
    return CommandLine::Ok;
}
