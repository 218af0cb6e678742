#include "DriverSession.h"

#include <QObject>

#include <cstdio>

#include "PluginLoader.h"
#include "StatusText.h"

namespace {
const char kDriverLogPrefix[] = "lib[Quillmarsh]";
const int kMaxPort = 65535;
bool showDriverLog = false;

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

DriverSession::DriverSession(bool debug) : m_debug(debug)
{
    showDriverLog = debug;
    qInstallMessageHandler(messageFilter);
}

DriverSession::~DriverSession()
{
    if (!m_driver)
        return;
    m_driver->DestroyFree();
    // The interface has no deletion of its own; the object is a QObject in
    // every plug-in built against this host header, so delete it as one.
    delete dynamic_cast<QObject *>(m_driver);
}

bool DriverSession::load(const QString &pluginOption, QString *error)
{
    m_driver = PluginLoader::create(PluginLoader::locate(pluginOption), error);
    if (m_driver && m_debug)
        m_driver->DebugCmd(DebugStart);
    return m_driver != nullptr;
}

bool DriverSession::connectTo(const QString &endpoint, QString *error)
{
    const int rc = m_driver->ConnectDrive(endpoint);
    if (rc != 0)
        *error = QStringLiteral("cannot connect to %1: %2").arg(endpoint, StatusText::connectResult(rc));
    return rc == 0;
}

bool DriverSession::checkEndpoint(const QString &endpoint, QString *error)
{
    const int colon = endpoint.indexOf(QLatin1Char(':'));
    bool ok = false;
    const int port = colon > 0 ? endpoint.mid(colon + 1).toInt(&ok) : 0;
    if (!ok || port < 1 || port > kMaxPort) {
        *error = QStringLiteral("PLC '%1' is not HOST:PORT with a port from 1 to %2")
                     .arg(endpoint, QString::number(kMaxPort));
        return false;
    }
    return true;
}
