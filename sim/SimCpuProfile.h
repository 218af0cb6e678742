#ifndef QUILLMARSH_SIMCPUPROFILE_H
#define QUILLMARSH_SIMCPUPROFILE_H

#include <QString>
#include <QStringList>

// What tells one CPU family from another on the wire: its identity, who may
// connect to it, the limits it grants at setup, the sizes of its memory
// areas, the way it keeps its system state lists and the quirks of its
// answers. One profile per family, each the CPU of a public data sheet; the
// simulated PLC takes one of them as a whole.
class SimCpuProfile
{
public:
    // How the module identification list (0x0011) is laid out. Classic CPUs
    // (S7-300, S7-400, S7-1500) list module, hardware, firmware (order number
    // left blank) and boot loader; compact ones (S7-1200, S7-200 SMART, LOGO!)
    // list module, hardware and firmware, each with the order number.
    enum class Identification { Classic, Compact };

    struct Version
    {
        quint8 major;
        quint8 minor;
        quint8 patch;
    };
    // The called TSAPs the CPU answers: connection type in the high byte, rack
    // * 0x20 + slot in the low byte, for every slot from firstSlot to lastSlot.
    // A CPU that serves one configured connection instead (callingTsap and
    // calledTsap not 0) answers that pair of TSAPs only.
    struct Tsaps
    {
        int rack;
        int firstSlot;
        int lastSlot;
        quint16 callingTsap;
        quint16 calledTsap;
    };
    // Connections the CPU holds at once: of type PG, of type OP or S7 basic,
    // and in all.
    struct Connections
    {
        int pg;
        int other;
        int total;
    };
    // Where a CPU that mirrors its inputs, outputs and markers into V memory
    // keeps them (byte offsets in data block 1), -1 where it does not.
    struct VMemoryMap
    {
        int inputs;
        int outputs;
        int markers;
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
    Tsaps tsaps;
    Connections connections;
    int vMemoryBytes;            // V memory served as data block 1, the only one; 0 for none
    VMemoryMap vMemoryMap;
    bool putGetSwitch;           // PUT/GET access from remote partners can be switched off
    int protectionLevels;        // the highest protection level
    bool lenientDataItems;       // serves user data whatever return code and transport size its item carries
    bool allocationAsMc7Size;    // block info gives the block's load-memory allocation as its MC7 size
    int diagnosticEntries;       // the diagnostic buffer keeps the latest this many events

    static const SimCpuProfile &standard();  // the S7-1200: reached with the called TSAP 03.00
    // Null when there is no profile of that name (any letter case).
    static const SimCpuProfile *find(const QString &name);
    static QStringList names();
};

#endif
