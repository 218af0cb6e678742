#include "InfoCommand.h"

#include "CommandLine.h"
#include "DriverSession.h"
#include "RecordOutput.h"

int InfoCommand::run(const QStringList &arguments)
{
    CommandLine cl(QStringLiteral("info"), QStringLiteral("Show the plug-in's name and version."),
                   QString());
    cl.addPluginOption();
    cl.addJsonOption();
    cl.addDebugOption();
    const int done = cl.parse(arguments, 0, 0);
    if (done >= 0)
        return done;

    DriverSession session(cl.isSet(QStringLiteral("debug")));
    QString error;
    if (!session.load(cl.value(QStringLiteral("plugin")), &error))
        return CommandLine::fail(error, CommandLine::Failed);
    const QString path = session.pluginPath();
    CDriveBaseClass *driver = session.driver();
    const QString name = driver->getDriveName();
    const QString version = driver->getversion_number();
    const QString debugVersion = driver->DebugCmd(DebugVersion);

    if (cl.isSet(QStringLiteral("json"))) {
        RecordOutput::Json o = RecordOutput::Json::object();
        o["plugin"] = RecordOutput::utf8(path);
        o["name"] = RecordOutput::utf8(name);
        o["version"] = RecordOutput::utf8(version);
        o["debugVersion"] = RecordOutput::utf8(debugVersion);
        CommandLine::print(RecordOutput::dump(o));
        return CommandLine::Ok;
    }
    CommandLine::print(QStringLiteral("plug-in        %1\nname           %2\nversion        %3\n"
                                      "debug version  %4")
                           .arg(path, name, version, debugVersion));
    return CommandLine::Ok;
}
