#include "SimCpuState.h"

#include "SimWire.h"

#include <QStringList>

namespace {

constexpr quint8 ServedConnectionTypes[] = {SimWire::ConnectionTypePg, SimWire::ConnectionTypeOp,
                                            SimWire::ConnectionTypeS7Basic};
constexpr char PasswordPad = ' ';

QString tsapText(quint16 tsap)
{
    return QStringLiteral("%1.%2").arg(tsap >> 8, 2, 16, QLatin1Char('0')).arg(tsap & 0xFF, 2, 16, QLatin1Char('0'));
}

quint16 calledTsap(quint8 type, int rack, int slot)
{
    return quint16(type << 8 | rack << SimWire::RackShift | slot);
}

} // namespace

SimCpuState::SimCpuState(const SimCpuProfile &cpu)
    : cpuProfile(cpu), tsaps(cpu.tsaps)
{
}

void SimCpuState::setRunning(bool on, quint16 cause)
{
    if (cause != 0)
        record(cause);
    if (on)
        record(EventRun);
    run = on;
}

void SimCpuState::setRackSlot(int rack, int slot)
{
    tsaps = SimCpuProfile::Tsaps{rack, slot, slot, 0, 0};
}

void SimCpuState::setTsaps(quint16 calling, quint16 called)
{
    tsaps = SimCpuProfile::Tsaps{0, 0, 0, calling, called};
}

bool SimCpuState::serves(quint16 calling, quint16 called) const
{
    if (tsaps.calledTsap != 0)
        return calling == tsaps.callingTsap && called == tsaps.calledTsap;
    for (quint8 type : ServedConnectionTypes) {
        for (int slot = tsaps.firstSlot; slot <= tsaps.lastSlot; ++slot) {
            if (called == calledTsap(type, tsaps.rack, slot))
                return true;
        }
    }
    return false;
}

QString SimCpuState::servedTsaps() const
{
    if (tsaps.calledTsap != 0)
        return QStringLiteral("calling %1, called %2").arg(tsapText(tsaps.callingTsap), tsapText(tsaps.calledTsap));
    QStringList served;
    for (quint8 type : ServedConnectionTypes) {
        for (int slot = tsaps.firstSlot; slot <= tsaps.lastSlot; ++slot)
            served << tsapText(calledTsap(type, tsaps.rack, slot));
    }
    return QStringLiteral("called ") + served.join(QLatin1Char(' '));
}

bool SimCpuState::setPutGet(bool on)
{
    if (!cpuProfile.putGetSwitch)
        return false;
    putGetAccess = on;
    return true;
}

bool SimCpuState::setProtection(int newLevel, const QString &password)
{
    const bool unprotected = newLevel == 1;
    if (newLevel < 1 || newLevel > cpuProfile.protectionLevels
        || (!unprotected && (password.isEmpty() || password.size() > SimWire::PasswordSize)))
        return false;
    level = newLevel;
    secret = unprotected ? QByteArray() : password.toLatin1().leftJustified(SimWire::PasswordSize, PasswordPad);
    return true;
}

bool SimCpuState::permits(Operation operation, bool legitimated) const
{
    if (legitimated || level <= 1)
        return true;
    return operation == Operation::Read && level == 2;
}

// Each byte is XORed with 0x55, and from the third on with the encoded
// byte two places before it too.
bool SimCpuState::passwordMatches(const QByteArray &encoded) const
{
    if (secret.isEmpty() || encoded.size() != SimWire::PasswordSize)
        return false;
    for (int i = 0; i < SimWire::PasswordSize; ++i) {
        quint8 plain = quint8(encoded.at(i)) ^ SimWire::PasswordMask;
        if (i >= 2)
            plain ^= quint8(encoded.at(i - 2));
        if (plain != quint8(secret.at(i)))
            return false;
    }
    return true;
}

QDateTime SimCpuState::now() const
{
    return QDateTime::currentDateTime().addMSecs(offsetMs);
}

void SimCpuState::setClock(const QDateTime &time)
{
    offsetMs = QDateTime::currentDateTime().msecsTo(time);
}

void SimCpuState::record(quint16 event)
{
    diagnostics.prepend(Event{event, now()});
    while (diagnostics.size() > cpuProfile.diagnosticEntries)
        diagnostics.removeLast();
}
