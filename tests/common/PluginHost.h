#ifndef QUILLMARSH_TESTS_PLUGINHOST_H
#define QUILLMARSH_TESTS_PLUGINHOST_H

// Loads libQuillmarsh.so the way a host does ($QUILLMARSH_PLUGIN, else beside
// the executable), hands out driver objects made by its factory and releases
// them like their owner would when the host goes.
#include <QCoreApplication>
#include <QLibrary>
#include <QObject>
#include <QStringList>

#include "CDriveBaseClass.h"

class PluginHost
{
public:
    PluginHost() = default;
    ~PluginHost() { releaseAll(); }
    PluginHost(const PluginHost &) = delete;
    PluginHost &operator=(const PluginHost &) = delete;

    static QString pluginPath()
    {
        const QString fromEnv = qEnvironmentVariable("QUILLMARSH_PLUGIN");
        return fromEnv.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/libQuillmarsh.so")
                                 : fromEnv;
    }
    bool load()
    {
        if (!m_factory) {
            m_library.setFileName(pluginPath());
            m_factory = reinterpret_cast<GetSharedLibraryFn>(m_library.resolve("getSharedLibrary"));
        }
        return m_factory != nullptr;
    }
    QString error() const { return pluginPath() + QStringLiteral(": ") + m_library.errorString(); }
    // A new driver object, or nullptr when the plug-in or its factory is missing.
    CDriveBaseClass *create()
    {
        CDriveBaseClass *object = load() ? m_factory() : nullptr;
        if (object)
            m_objects << object;
        return object;
    }
    // The interface offers no deletion: release the socket, then delete
    // through the QObject side. The library stays loaded.
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
