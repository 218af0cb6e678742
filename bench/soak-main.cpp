// quillmarsh-soak: the plug-in's long runs (see SoakRun).
//
//   quillmarsh-soak [PLUGIN]

#include <QCoreApplication>

#include "DisconnectWarnings.h"
#include "DriverPlugin.h"
#include "SoakRun.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    dropDisconnectWarnings();
    const QStringList arguments = app.arguments();
    return SoakRun::run(DriverPlugin::locate(arguments.value(1)));
}
