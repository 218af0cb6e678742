#ifndef QUILLMARSH_LOGCAPTURE_H
#define QUILLMARSH_LOGCAPTURE_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the plug-in's log lines (it logs through the host's QtCore).
class LogCapture
{
public:
    LogCapture() { captured.clear(); previousHandler = qInstallMessageHandler(&LogCapture::handler); }
    ~LogCapture() { qInstallMessageHandler(previousHandler); }
    QStringList lines(QtMsgType type) const
    {
        QStringList out;
        for (const auto &entry : captured)
            if (entry.type == type)
                out << entry.text;
        return out;
    }
    QStringList categories() const
    {
        QStringList out;
        for (const auto &entry : captured)
            out << QString::fromLatin1(entry.category ? entry.category : "(none)");
        return out;
    }

private:
    struct Entry
    {
        QtMsgType type;
        const char *category;
        QString text;
    };
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        captured.append({type, context.category, text});
    }
    static inline QList<Entry> captured;
    static inline QtMessageHandler previousHandler = nullptr;
};

#endif
