#ifndef QUILLMARSH_SIMCOMMAND_H
#define QUILLMARSH_SIMCOMMAND_H

#include <QString>
#include <QStringList>

// Command-line front of the simulated PLC, `quillmarsh sim` and
// quillmarsh-sim: takes
//   [--port N] [--listen ADDRESS] [--cpu PROFILE] [--pdu N] [--state run|stop]
//   [--db N:SIZE]... [--area I|Q|M:SIZE]... [--preset PRESET]...
//   [--symbols FILE]... [--number NAME=N]... [--fault MODE[:ARG]]
//   [--signal ADDRESS:TYPE:SHAPE:PERIOD]... [--control PORT]
//   [--capture FILE [--capture-limit MIB]]
// prints "listening on ADDRESS:PORT" and serves until SIGINT or SIGTERM,
// whose handlers it installs before anything else. The exit code is
// CommandLine's: 0 after a signal, 1 when it cannot listen or capture, 2 on
// a bad option.
class SimCommand
{
public:
    // arguments as `quillmarsh sim ARGS` gives them (the program, "sim",
    // then the options); program is the name the help and --version show.
    static int run(const QStringList &arguments, const QString &program);
};

#endif
