#ifndef QUILLMARSH_SIMCOMMAND_H
#define QUILLMARSH_SIMCOMMAND_H

// Command-line front of the simulated PLC: parses
//   [--port N] [--pdu N] [--listen ADDRESS] [--db N:SIZE]... [--area I|Q|M:SIZE]...
//   [--preset AREA:OFFSET:HEX]...
// (argv[0] is the program name), prints "listening on ADDRESS:PORT" and serves
// until SIGINT or SIGTERM. Creates a QCoreApplication when there is none.
// Returns the process exit code: 0 after a signal, 1 when it cannot listen,
// 2 on a bad option.
class SimCommand
{
public:
    static int run(int argc, char **argv);
};

#endif
