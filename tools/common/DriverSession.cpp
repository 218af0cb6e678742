#include "DriverSession.h"

#include <QObject>

#include <cstdio>

#include "CommandLine.h"
#include "StatusText.h"

namespace {
const char kDriverLogPrefix[] = "lib[Quillmarsh]";
bool showDriverLog = false;
CDriveExtension::ConnectionOptions connectionOptions;
bool optionsAsked = false;

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
    return cl.connectionOptions(&connectionOptions, &optionsAsked);
}

bool DriverSession::connectTo(const QString &endpoint, QString *error)
{
    if (optionsAsked) {
        CDriveExtension *more = extension(error);
        if (!more)
            return false;
        if (!more->setConnectionOptions(connectionOptions)) {
            *error = QStringLiteral("the plug-in refused the connection options");
            return false;
        }
    }
    const int rc = object->ConnectDrive(endpoint);
    if (rc != ConnectOk)
        *error = QStringLiteral("cannot connect to %1: %2").arg(endpoint, StatusText::connectResult(rc));
    return rc == ConnectOk;
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
