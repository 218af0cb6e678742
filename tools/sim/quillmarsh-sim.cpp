// quillmarsh-sim: the simulated PLC on its own, the same front as `quillmarsh sim`.
#include <QCoreApplication>

#include "SimCommand.h"
#include "StopSignals.h"

int main(int argc, char **argv)
{
    StopSignals::install(); // before anything that a stop should end
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.insert(1, QStringLiteral("sim"));
    return SimCommand::run(arguments, QCoreApplication::applicationName());
}
