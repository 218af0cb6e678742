#include "SimCpuProfile.h"

namespace {

using Identification = SimCpuProfile::Identification;

// Module type word: 0x00C0 marks a CPU in the classic families' records;
// S7-1200 CPUs leave it 0.
constexpr quint16 ClassicCpuType = 0x00C0;
constexpr quint16 CompactCpuType = 0x0000;
constexpr int AddressableBytes = 65536; // a variable address reaches 64 KiB of a block

// Limits, memory sizes and identities from each CPU's data sheet; the
// parallel-job limits (AmQ) and PDU sizes are those the CPUs grant at setup.
const SimCpuProfile Profiles[] = {
    // CPU 315-2 PN/DP, 6ES7 315-2EH14-0AB0, firmware V3.2: I/O address
    // areas and bit memory 2 KiB each, 256 timers and counters, data blocks
    // 1 to 16000 of up to 16 KiB.
    {"s7-300", "6ES7 315-2EH14-0AB0", "CPU 315-2 PN/DP", "S C-QM0000000300", "MMC 5153494D",
     ClassicCpuType, 3, {3, 2, 6}, Identification::Classic,
     240, 2, 2, 2048, 2048, 2048, 256, 256, 16000, 16 * 1024},
    // CPU 416-3 PN/DP, 6ES7 416-3ES06-0AB0, firmware V6.0: process images
    // and bit memory 16 KiB each, 2048 timers and counters, data blocks 1 to
    // 16000 of up to 64 KiB.
    {"s7-400", "6ES7 416-3ES06-0AB0", "CPU 416-3 PN/DP", "S C-QM0000000400", "MC 5153494D",
     ClassicCpuType, 1, {6, 0, 3}, Identification::Classic,
     480, 16, 16, 16384, 16384, 16384, 2048, 2048, 16000, AddressableBytes},
    // CPU 1214C DC/DC/DC, 6ES7 214-1AG40-0XB0, firmware V4.4: process images
    // of 1 KiB, bit memory 8 KiB, data blocks 1 to 59999. Its data sheet
    // lists IEC timers only; the S7 timer and counter areas are served so that
    // clients written for the other families read them alike.
    {"s7-1200", "6ES7 214-1AG40-0XB0", "CPU 1214C DC/DC/DC", "S V-QM0000001200", "SMC 5153494D",
     CompactCpuType, 1, {4, 4, 1}, Identification::Compact,
     240, 3, 3, 1024, 1024, 8192, 256, 256, 59999, AddressableBytes},
    // CPU 1516-3 PN/DP, 6ES7 516-3AN01-0AB0, firmware V2.9: I/O address
    // areas of 32 KiB, bit memory 16 KiB, 2048 S7 timers and counters, data
    // blocks 1 to 60999.
    {"s7-1500", "6ES7 516-3AN01-0AB0", "CPU 1516-3 PN/DP", "S V-QM0000001500", "SMC 5153494D",
     ClassicCpuType, 1, {2, 9, 2}, Identification::Classic,
     960, 3, 3, 32768, 32768, 16384, 2048, 2048, 60999, AddressableBytes},
};

} // namespace

const SimCpuProfile &SimCpuProfile::standard()
{
    return Profiles[0];
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
