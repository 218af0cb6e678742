#include "Remedy.h"

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
} // namespace

QString Remedy::of(const CDriveExtension::Why &why, int status)
{
    const quint16 error = quint16(why.errorClass << 8 | why.errorCode);
    if (why.errorClass == ApplicationRelationshipClass && why.errorCode == ServiceRefusedCode)
        return QStringLiteral("enable 'Permit access with PUT/GET communication from remote partner' in the "
                              "CPU's protection settings, then download the hardware configuration");
    if (why.returnCode == ObjectDoesNotExist)
        return QStringLiteral("download the data block if it is missing; if it is there, switch off 'Optimized "
                              "block access' in the block's attributes");
    if (why.returnCode == AddressOutOfRange || (why.errorClass == AccessErrorClass && why.errorCode == AddressErrorCode))
        return QStringLiteral("address the tag within the area's or the block's length (the CPU's data sheet, "
                              "the block's declaration)");
    for (quint16 refusal : ProtectionRefusals)
        if (error == refusal)
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
