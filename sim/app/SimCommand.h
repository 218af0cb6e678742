#ifndef QUILLMARSH_SIMCOMMAND_H
#define QUILLMARSH_SIMCOMMAND_H

// Command-line front of the simulated PLC: parses
//   [--port N] [--listen ADDRESS] [--cpu PROFILE] [--pdu N] [--state run|stop]
//   [--db N:SIZE]... [--area I|Q|M:SIZE]... [--preset AREA:OFFSET:HEX]...
//   [--fault MODE[:ARG]] [--signal ADDRESS:TYPE:SHAPE:PERIOD]... [--control PORT]
//   [--capture FILE [--capture-limit MIB]]
// (argv[0] is the program name), prints "listening on ADDRESS:PORT" and serves
// until SIGINT or SIGTERM, whose handlers it installs before anything else.
// Creates a QCoreApplication when there is none. Returns the process exit
// code: 0 after a signal, 1 when it cannot listen or capture, 2 on a bad
// option.
class SimCommand
{
public:
    static int run(int argc, char **argv);
};

#endif
