#include "Remedy.h"

#include <QStringList>

#include <algorithm>
#include <iterator>

#include "ResultCodes.h"

namespace {
// Error class and code of a job an S7-1200/1500 refuses with PUT/GET access
// off (and an S7-300/400 with a malformed job: the remedy names the setting
// a technician is most likely missing).
constexpr quint8 ApplicationRelationshipClass = 0x81;
constexpr quint8 ServiceRefusedCode = 0x04;
constexpr quint8 AccessErrorClass = 0x87;
constexpr quint8 AddressErrorCode = 0x01;
// Item return codes.
constexpr quint8 AccessNotAllowed = 0x03;
constexpr quint8 AddressOutOfRange = 0x05;
constexpr quint8 ObjectDoesNotExist = 0x0A;
// Protection-level refusals of user-data functions (class in the high byte).
constexpr quint16 ProtectionRefusals[] = {0xD0A1, 0xD241};

bool refusedAtLevel(const CDriveExtension::Why &why)
{
    const quint16 error = quint16(why.errorClass << 8 | why.errorCode);
    return std::find(std::begin(ProtectionRefusals), std::end(ProtectionRefusals), error) != std::end(ProtectionRefusals);
}

// Where each family's CPU answers, and the option that calls it there; a
// hint that would ask for the slot just tried is left out.
struct Family
{
    int slot; // -1: a CPU that answers only a configured pair of TSAPs
    const char *text;
};
const Family kFamilies[] = {
    {2, "an S7-300 answers at rack 0, slot 2: try --slot 2"},
    {3, "an S7-400 at rack 0 and the slot its CPU sits in, often 2 or 3: try --slot 3"},
    {1, "an S7-1200 or S7-1500 at rack 0, slot 0 or 1: try --slot 1"},
    {0, "an S7-200 SMART at 03.00: try --cpu s7-200-smart"},
    {-1, "a LOGO! only at the TSAPs of its configured server connection, commonly 0300:0200: try --cpu logo"},
};

QString tsapText(int tsap)
{
    return QStringLiteral("%1.%2").arg(tsap >> 8, 2, 16, QLatin1Char('0')).arg(tsap & 0xFF, 2, 16, QLatin1Char('0'));
}

// The called TSAP: the one given, else type, rack and slot.
constexpr int RackShift = 5;
int calledTsap(const CDriveExtension::ConnectionOptions &o)
{
    return o.remoteTsap >= 0 ? o.remoteTsap : (o.connectionType << 8 | o.rack << RackShift | o.slot);
}
} // namespace

bool Remedy::isProtection(const CDriveExtension::Why &why)
{
    return refusedAtLevel(why) || why.returnCode == AccessNotAllowed;
}

QString Remedy::of(const CDriveExtension::Why &why, int status)
{
    if (why.errorClass == ApplicationRelationshipClass && why.errorCode == ServiceRefusedCode)
        return QStringLiteral("enable 'Permit access with PUT/GET communication from remote partner' in the "
                              "CPU's protection settings, then download the hardware configuration");
    if (why.returnCode == ObjectDoesNotExist)
        return QStringLiteral("download the data block if it is missing; if it is there, switch off 'Optimized "
                              "block access' in the block's attributes");
    if (why.returnCode == AddressOutOfRange || (why.errorClass == AccessErrorClass && why.errorCode == AddressErrorCode))
        return QStringLiteral("address the tag within the area's or the block's length (the CPU's data sheet, "
                              "the block's declaration)");
    if (refusedAtLevel(why))
        return QStringLiteral("the CPU's protection level forbids this: give its password with --password, "
                              "or lower the protection in the CPU's properties");
    if (why.returnCode == AccessNotAllowed)
        return QStringLiteral("the CPU refuses access to this object: give the protection password with "
                              "--password, or check that the block is not read-only");
    switch (status) {
    case StatusNoReply:
        return QStringLiteral("check that the PLC is switched on and that the link reaches it (ping its address)");
    case StatusNotConnected:
        return QStringLiteral("check the PLC's address and port, the cable, and that the CPU is switched on");
    default:
        return QString();
    }
}

QString Remedy::ofConnect(int step, const CDriveExtension::ConnectionOptions &asked)
{
    if (step == CDriveExtension::ConnectStepSetup)
        return QStringLiteral("the PLC refused the setup of communication (a PDU of %1 bytes and %2 jobs in "
                              "parallel asked): try --pdu 240 --jobs 1")
            .arg(asked.pduSize)
            .arg(asked.parallelJobs);
    if (step != CDriveExtension::ConnectStepRequest)
        return QString();
    const bool byRackAndSlot = asked.remoteTsap < 0 && asked.rack == 0;
    QStringList hints;
    for (const Family &f : kFamilies) {
        if (!byRackAndSlot || f.slot != asked.slot)
            hints << QLatin1String(f.text);
    }
    return QStringLiteral("the connection was closed after the connection request to called TSAP %1 (calling %2); %3")
        .arg(tsapText(calledTsap(asked)), tsapText(asked.localTsap), hints.join(QStringLiteral("; ")));
}
