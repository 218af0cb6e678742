#ifndef QUILLMARSH_DRIVERSESSION_H
#define QUILLMARSH_DRIVERSESSION_H

#include <QString>

#include <memory>

#include "CDriveBaseClass.h"
#include "CDriveExtension.h"
#include "DriverPlugin.h"

// One driver object for the life of a command: loaded from the plug-in,
// connected to one PLC, and closed and deleted when the session ends.
// The plug-in's own log lines are shown only with debug on, so that a plain
// run prints nothing but its result.
class CommandLine;

class DriverSession
{
public:
    explicit DriverSession(bool debug);
    ~DriverSession();
    DriverSession(const DriverSession &) = delete;
    DriverSession &operator=(const DriverSession &) = delete;

    // Loads the plug-in (pluginOption, or where DriverPlugin::locate finds it)
    // and makes the session's driver object.
    bool load(const QString &pluginOption, QString *error);
    QString pluginPath() const { return plugin ? plugin->path() : QString(); }
    // The connection options given in the --tags file and on the command
    // line (which wins), which every session's connectTo then asks the
    // plug-in for (a command runs in a process of its own). False after
    // reporting a bad value.
    static bool takeOptions(const CommandLine &cl);
    // endpoint is "HOST:PORT" with a numeric IP address. With connection
    // options given, a plug-in without the extension cannot connect; with a
    // password given, it is sent once connected. A failed handshake is told
    // with what to try, where the extension says which step failed.
    bool connectTo(const QString &endpoint, QString *error);
    // Loads the plug-in (--plugin) and connects: -1 when connected, else the
    // exit code after reporting why not (bad input for options the plug-in
    // cannot take).
    int open(const CommandLine &cl, const QString &endpoint);
    // The exit code a failed load or connectTo ends the command with.
    int failure() const { return failureCode; }
    // The plug-in's extension, or nullptr with *error set.
    CDriveExtension *extension(QString *error) const;
    CDriveBaseClass *driver() const { return object; }

    // False with *error set when the text is not HOST:PORT with a port of
    // 1 to 65535; judged before anything is loaded or sent.
    static bool checkEndpoint(const QString &endpoint, QString *error);

private:
    std::unique_ptr<DriverPlugin> plugin;
    CDriveBaseClass *object = nullptr;
    bool debugLog;
    int failureCode = 1;
};

#endif
