#include "DriverSession.h"

#include <QObject>

#include <cstdio>

#include "CommandLine.h"
#include "Remedy.h"
#include "StatusText.h"
#include "TagList.h"

namespace {
const char kDriverLogPrefix[] = "lib[Quillmarsh]";
bool showDriverLog = false;
CommandLine::Connection connection;

void messageFilter(QtMsgType, const QMessageLogContext &, const QString &message)
{
    // A QString streamed into qDebug() arrives in quotes; they are dropped
    // from the plug-in's lines so that its frames read cleanly.
    QString text = message;
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        text = text.mid(1, text.size() - 2);
    if (text.startsWith(QLatin1String(kDriverLogPrefix))) {
        if (!showDriverLog)
            return;
    } else {
        text = message;
    }
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    std::fflush(stderr);
}
} // namespace

DriverSession::DriverSession(bool debug) : debugLog(debug)
{
    showDriverLog = debug;
    qInstallMessageHandler(messageFilter);
}

// The plug-in releases its driver object when it goes.
DriverSession::~DriverSession() = default;

bool DriverSession::load(const QString &pluginOption, QString *error)
{
    plugin = std::make_unique<DriverPlugin>(pluginOption);
    object = plugin->create();
    if (!object) {
        *error = plugin->errorString();
        return false;
    }
    if (debugLog)
        object->DebugCmd(DebugStart);
    return true;
}

CDriveExtension *DriverSession::extension(QString *error) const
{
    CDriveExtension *more = driveExtension(object);
    if (!more)
        *error = QStringLiteral("the plug-in %1 offers no extension (connection options, batches)").arg(pluginPath());
    return more;
}

bool DriverSession::takeOptions(const CommandLine &cl)
{
    // An unreadable file is reported when its tags are read.
    QString text, error;
    if (cl.offers(QStringLiteral("tags")) && cl.isSet(QStringLiteral("tags"))
        && TagList::readFile(cl.value(QStringLiteral("tags")), &text, &error)) {
        const QStringList arguments = TagList::connectionArguments(text);
        if (!arguments.isEmpty()) {
            CommandLine file(QStringLiteral("--tags %1").arg(cl.value(QStringLiteral("tags"))), QString(), QString());
            file.addConnectionOptions();
            if (file.parse(QStringList{QString(), QString()} + arguments, 0, 0) >= 0
                || !file.connectionOptions(&connection))
                return false;
        }
    }
    return cl.connectionOptions(&connection);
}

int DriverSession::open(const CommandLine &cl, const QString &endpoint)
{
    QString error;
    if (!load(cl.value(QStringLiteral("plugin")), &error) || !connectTo(endpoint, &error))
        return CommandLine::fail(error, failure());
    return -1;
}

bool DriverSession::connectTo(const QString &endpoint, QString *error)
{
    CDriveExtension *more = connection.asked || connection.pduAsked ? driveExtension(object) : nullptr;
    if (connection.asked && !more) {
        *error = QStringLiteral("the plug-in %1 offers no extension, which the connection options (--cpu, --rack, "
                                "--slot, --type, --tsap, --jobs, --password) need")
                     .arg(pluginPath());
        failureCode = CommandLine::BadInput;
        return false;
    }
    if (more && !more->setConnectionOptions(connection.options)) {
        *error = QStringLiteral("the plug-in refused the connection options");
        return false;
    }
    const int rc = object->ConnectDrive(endpoint);
    if (rc != ConnectOk) {
        CDriveExtension *told = driveExtension(object);
        const QString hint = rc == ConnectHandshakeFailed && told
            ? Remedy::ofConnect(told->lastConnectFailure(), told->connectionOptions())
            : QString();
        *error = QStringLiteral("cannot connect to %1: %2")
                     .arg(endpoint, hint.isEmpty() ? StatusText::connectResult(rc) : hint);
        return false;
    }
    CDriveExtension::Why why;
    if (!connection.password.isEmpty() && more->sendPassword(connection.password, &why) != StatusOk) {
        object->DisConnectDrive();
        *error = QStringLiteral("%1 refused the password: %2").arg(endpoint, why.text);
        return false;
    }
    return true;
}

bool DriverSession::checkEndpoint(const QString &endpoint, QString *error)
{
    const int colon = endpoint.indexOf(QLatin1Char(':'));
    bool ok = false;
    const int port = colon > 0 ? endpoint.mid(colon + 1).toInt(&ok) : 0;
    if (!ok || port < 1 || port > CommandLine::MaxPort) {
        *error = QStringLiteral("PLC '%1' is not HOST:PORT with a port from 1 to %2")
                     .arg(endpoint, QString::number(CommandLine::MaxPort));
        return false;
    }
    return true;
}
