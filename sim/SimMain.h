#ifndef QUILLMARSH_SIMMAIN_H
#define QUILLMARSH_SIMMAIN_H

// Command-line front of the simulated PLC: parses
//   [--port N] [--pdu N] [--listen ADDRESS]
// (argv[0] is the program name), prints "listening on ADDRESS:PORT" and serves
// until SIGINT or SIGTERM. Creates a QCoreApplication when there is none.
// Returns the process exit code.
int runSimulator(int argc, char **argv);

#endif
