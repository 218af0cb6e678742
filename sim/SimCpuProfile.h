#ifndef QUILLMARSH_SIMCPUPROFILE_H
#define QUILLMARSH_SIMCPUPROFILE_H

#include <QString>
#include <QStringList>

// What tells one CPU family from another on the wire: its identity, the
// limits it grants at setup, the sizes of its memory areas and the way it
// keeps its system state lists. One profile per family, each the CPU of a
// public data sheet; the simulated PLC takes one of them as a whole.
class SimCpuProfile
{
public:
    // How the module identification list (0x0011) is laid out. Classic CPUs
    // (S7-300, S7-400, S7-1500) list module, hardware, firmware (order number
    // left blank) and boot loader; compact ones (S7-1200) list module,
    // hardware and firmware, each with the order number.
    enum class Identification { Classic, Compact };

    struct Version
    {
        quint8 major;
        quint8 minor;
        quint8 patch;
    };

    const char *name;            // as given to --cpu
    const char *orderNumber;     // 19 characters, e.g. "6ES7 315-2EH14-0AB0"
    const char *moduleTypeName;  // e.g. "CPU 315-2 PN/DP"
    const char *serialNumber;    // of the module
    const char *memoryCard;      // serial number of the memory card, with its kind
    quint16 moduleType;          // module type word of the identification records
    quint16 hardwareVersion;
    Version firmware;
    Identification identification;
    int pduLimit;                // largest PDU granted at setup
    int amqCalling;              // most jobs in parallel the client may start
    int amqCalled;               // most jobs in parallel the CPU may start
    int inputBytes;              // I/O address areas and bit memory
    int outputBytes;
    int markerBytes;
    int timers;                  // S7 timers and counters, two bytes each
    int counters;
    int maxDbNumber;
    int maxDbBytes;

    static const SimCpuProfile &standard();  // the S7-300
    // Null when there is no profile of that name (any letter case).
    static const SimCpuProfile *find(const QString &name);
    static QStringList names();
};

#endif
