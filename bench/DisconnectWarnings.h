#ifndef QUILLMARSH_DISCONNECTWARNINGS_H
#define QUILLMARSH_DISCONNECTWARNINGS_H

#include <QtGlobal>

#include <cstdio>

// The plug-in warns on every disconnect; runs that disconnect hundreds of
// times keep their console for everything else.
inline void dropDisconnectWarnings()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if (type != QtWarningMsg || !message.contains(QLatin1String("Disconnected=")))
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    });
}

#endif
