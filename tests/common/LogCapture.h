#ifndef QUILLMARSH_TESTS_LOGCAPTURE_H
#define QUILLMARSH_TESTS_LOGCAPTURE_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the plug-in's log lines (it logs through the host's QtCore).
class LogCapture
{
public:
    LogCapture() { s_lines.clear(); s_previous = qInstallMessageHandler(&LogCapture::handler); }
    ~LogCapture() { qInstallMessageHandler(s_previous); }
    QStringList lines(QtMsgType type) const
    {
        QStringList out;
        for (const auto &entry : s_lines)
            if (entry.type == type)
                out << entry.text;
        return out;
    }
    QStringList categories() const
    {
        QStringList out;
        for (const auto &entry : s_lines)
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
        s_lines.append({type, context.category, text});
    }
    static inline QList<Entry> s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};

#endif
