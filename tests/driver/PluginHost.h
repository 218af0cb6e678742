#ifndef QUILLMARSH_TESTS_PLUGINHOST_H
#define QUILLMARSH_TESTS_PLUGINHOST_H

// Loads libQuillmarsh.so the way a host does and hands out driver objects.
#include <QLibrary>
#include <QMutex>
#include <QStringList>
#include <QtTest>

#include "CDriveBaseClass.h"

class PluginHost
{
public:
    bool load()
    {
        m_library.setFileName(QString::fromLocal8Bit(qgetenv("QUILLMARSH_PLUGIN")));
        m_factory = reinterpret_cast<GetSharedLibraryFn>(m_library.resolve("getSharedLibrary"));
        return m_factory != nullptr;
    }
    QString error() const { return m_library.errorString(); }
    CDriveBaseClass *create()
    {
        m_objects << m_factory();
        return m_objects.last();
    }
    // The interface offers no deletion: like a host that owns its drivers,
    // release the socket, then delete through the QObject side.
    void releaseAll()
    {
        for (CDriveBaseClass *object : qAsConst(m_objects)) {
            object->DestroyFree();
            delete dynamic_cast<QObject *>(object);
        }
        m_objects.clear();
    }

private:
    QLibrary m_library;
    GetSharedLibraryFn m_factory = nullptr;
    QList<CDriveBaseClass *> m_objects;
};

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
