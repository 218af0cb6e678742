#include "SimCpuProfile.h"

namespace {

using Identification = SimCpuProfile::Identification;

// Module type word: 0x00C0 marks a CPU in the classic families' records;
// S7-1200 CPUs leave it 0.
constexpr quint16 ClassicCpuType = 0x00C0;
constexpr quint16 CompactCpuType = 0x0000;
constexpr int AddressableBytes = 65536; // a variable address reaches 64 KiB of a block
constexpr int ClassicLevels = 3;        // 1 none, 2 write protection, 3 read and write protection
constexpr int AccessLevels = 4;         // full, read, HMI, no access
constexpr SimCpuProfile::VMemoryMap NoVMemoryMap = {-1, -1, -1};

// Limits, memory sizes and identities from each CPU's data sheet; the
// parallel-job limits (AmQ) and PDU sizes are those the CPUs grant at setup.
// Rack and slot: clients report a connection reset when they name another
// (node-red-contrib-s7#25, nodeS7#47 on S7-300/400; S7NetPlus#471 and
// hassio-addons/app-node-red#1435 on S7-1200/1500).
const SimCpuProfile Profiles[] = {
    // CPU 315-2 PN/DP, 6ES7 315-2EH14-0AB0, firmware V3.2: I/O address
    // areas and bit memory 2 KiB each, 256 timers and counters, data blocks
    // 1 to 16000 of up to 16 KiB. Rack 0 slot 2, where the real CPUs of our
    // captures were called (01.02); 16 connections, as such a CPU reports
    // itself in its list 0x0131 (captures of ours).
    {"s7-300", "6ES7 315-2EH14-0AB0", "CPU 315-2 PN/DP", "S C-QM0000000300", "MMC 5153494D",
     ClassicCpuType, 3, {3, 2, 6}, Identification::Classic,
     240, 2, 2, 2048, 2048, 2048, 256, 256, 16000, 16 * 1024,
     {0, 2, 2, 0, 0}, {16, 16, 16}, 0, NoVMemoryMap, false, ClassicLevels, false, false, 100},
    // CPU 416-3 PN/DP, 6ES7 416-3ES06-0AB0, firmware V6.0: process images
    // and bit memory 16 KiB each, 2048 timers and counters, data blocks 1 to
    // 16000 of up to 64 KiB, 96 connections. Rack 0 slot 2, as in the
    // station of the captures of ours (our choice: slot 3 is as common).
    {"s7-400", "6ES7 416-3ES06-0AB0", "CPU 416-3 PN/DP", "S C-QM0000000400", "MC 5153494D",
     ClassicCpuType, 1, {6, 0, 3}, Identification::Classic,
     480, 16, 16, 16384, 16384, 16384, 2048, 2048, 16000, AddressableBytes,
     {0, 2, 2, 0, 0}, {96, 96, 96}, 0, NoVMemoryMap, false, ClassicLevels, false, false, 100},
    // CPU 1214C DC/DC/DC, 6ES7 214-1AG40-0XB0, firmware V4.4: process images
    // of 1 KiB, bit memory 8 KiB, data blocks 1 to 59999. Its data sheet
    // lists IEC timers only; the S7 timer and counter areas are served so that
    // clients written for the other families read them alike. Rack 0, slot 0
    // or 1 (snap7's documentation; S7NetPlus calls it with 03.00); 4 PG and
    // 12 HMI connections of 16. It serves block info whatever the request's
    // data item says and gives the load-memory allocation as MC7 size
    // (python-snap7#608).
    {"s7-1200", "6ES7 214-1AG40-0XB0", "CPU 1214C DC/DC/DC", "S V-QM0000001200", "SMC 5153494D",
     CompactCpuType, 1, {4, 4, 1}, Identification::Compact,
     240, 3, 3, 1024, 1024, 8192, 256, 256, 59999, AddressableBytes,
     {0, 0, 1, 0, 0}, {4, 12, 16}, 0, NoVMemoryMap, true, AccessLevels, true, true, 50},
    // CPU 1516-3 PN/DP, 6ES7 516-3AN01-0AB0, firmware V2.9: I/O address
    // areas of 32 KiB, bit memory 16 KiB, 2048 S7 timers and counters, data
    // blocks 1 to 60999; 128 connections over its integrated interfaces.
    // Rack 0, slot 0 or 1, as the S7-1200.
    {"s7-1500", "6ES7 516-3AN01-0AB0", "CPU 1516-3 PN/DP", "S V-QM0000001500", "SMC 5153494D",
     ClassicCpuType, 1, {2, 9, 2}, Identification::Classic,
     960, 3, 3, 32768, 32768, 16384, 2048, 2048, 60999, AddressableBytes,
     {0, 0, 1, 0, 0}, {128, 128, 128}, 0, NoVMemoryMap, true, AccessLevels, false, false, 1000},
    // CPU ST40 DC/DC/DC, 6ES7 288-1ST40-0AA0 (S7-200 SMART system manual,
    // A5E03822230): I0 to I31, Q0 to Q31, M0 to M31, 16 KiB of V memory,
    // served as data block 1 (S7NetPlus#433, nodeS7#49); GET of at most 222
    // bytes, so a PDU of 240. It takes a connection by its type: one for a
    // programming device, eight for HMIs (the manual; python-snap7#550: with
    // snap7's default PG type only one client connects; python-snap7#766:
    // clients of different types are told apart by it). It accepts the
    // called TSAP 03.00 (S7NetPlus#395/#396) and 03.01 (nicolasme/s7comm#6).
    // Its timers and counters use transport sizes of their own and are not
    // served; AmQ, identity records and firmware are our choice.
    {"s7-200-smart", "6ES7 288-1ST40-0AA0", "CPU ST40 DC/DC/DC", "S V-QM0000000200", "MC 5153494D",
     CompactCpuType, 1, {2, 5, 0}, Identification::Compact,
     240, 2, 2, 32, 32, 32, 0, 0, 1, 16 * 1024,
     {0, 0, 1, 0, 0}, {1, 8, 9}, 16 * 1024, NoVMemoryMap, false, ClassicLevels, false, false, 50},
    // LOGO! 12/24RCE, 6ED1052-1MD08-0BA0 (LOGO! 8): serves the TSAPs of its
    // configured server connection, here the common client 03.00 and LOGO!
    // 02.00 (python-snap7#6 and #22 connect with these). Variable memory is data block 1; the
    // inputs, outputs and markers are also read there, at VM 1024, 1064 and
    // 1104, as the LOGO!Soft Comfort help maps them for LOGO! 8. A LOGO! 0BA7
    // takes only connection requests with the parameters in the order C1,
    // C2, C0 (plc4x#308); LOGO! 8 takes any order. Connections (8), PDU, AmQ
    // and identity records are our choice.
    {"logo", "6ED1052-1MD08-0BA0", "LOGO! 12/24RCE", "S V-QM000000LOGO", "", CompactCpuType, 1, {1, 81, 1},
     Identification::Compact,
     240, 1, 1, 8, 8, 14, 0, 0, 1, 1470,
     {0, 0, 0, 0x0300, 0x0200}, {8, 8, 8}, 1470, {1024, 1064, 1104}, false, ClassicLevels, false, false, 50},
};

} // namespace

const SimCpuProfile &SimCpuProfile::standard()
{
    return Profiles[2];
}

const SimCpuProfile *SimCpuProfile::find(const QString &name)
{
    for (const SimCpuProfile &profile : Profiles) {
        if (name.compare(QLatin1String(profile.name), Qt::CaseInsensitive) == 0)
            return &profile;
    }
    return nullptr;
}

QStringList SimCpuProfile::names()
{
    QStringList list;
    for (const SimCpuProfile &profile : Profiles)
        list << QLatin1String(profile.name);
    return list;
}
