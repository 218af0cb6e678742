#include "SimFaultName.h"

#include <QStringList>

namespace {

using Fault = SimPlc::Fault;

struct Mode
{
    const char *name;
    Fault fault;
    const char *argument; // what the argument is, null when there is none
    int minimum;
    int maximum;
    const char *meaning;
};

constexpr int MaxDelayMs = 600000;
constexpr int MaxFrames = 1000000;
constexpr int MinHugeBytes = 4;
constexpr int MaxHugeBytes = 64 * 1024 * 1024;

constexpr Mode Modes[] = {
    {"off", Fault::None, nullptr, 0, 0, "answer as a CPU does"},
    {"silent", Fault::Silent, nullptr, 0, 0, "never answer"},
    {"refuse", Fault::RefuseConnect, nullptr, 0, 0, "refuse COTP connection requests"},
    {"short", Fault::ShortReply, nullptr, 0, 0, "send only the first 4 bytes of each reply"},
    {"late", Fault::LateReply, "MS", 1, MaxDelayMs, "answer MS ms late (default 2500)"},
    {"split", Fault::SplitReply, nullptr, 0, 0, "send each reply in two halves 300 ms apart"},
    {"close", Fault::CloseAfterFrames, "FRAMES", 1, MaxFrames,
     "close the connection on the FRAMES-th frame from now (default 1)"},
    {"garbage", Fault::Garbage, nullptr, 0, 0, "answer with 1 to 64 random bytes"},
    {"huge", Fault::HugeReply, "BYTES", MinHugeBytes, MaxHugeBytes,
     "answer with a frame header and BYTES bytes that never end it (default 4 MiB)"},
    {"trickle", Fault::ByteByByte, "MS", 1, MaxDelayMs, "send replies a byte at a time, MS ms apart (default 50)"},
    {"close-mid", Fault::CloseMidReply, nullptr, 0, 0, "send half a reply, then close"},
    {"previous", Fault::PreviousReply, nullptr, 0, 0, "answer each request with the reply to the one before"},
};

} // namespace

bool SimFaultName::parse(const QString &mode, const QString &argument, SimPlc::Fault *fault, int *param,
                         QString *error)
{
    for (const Mode &entry : Modes) {
        if (mode.compare(QLatin1String(entry.name), Qt::CaseInsensitive) != 0)
            continue;
        int value = 0;
        if (!argument.isEmpty()) {
            bool ok = false;
            value = argument.toInt(&ok);
            if (!entry.argument || !ok || value < entry.minimum || value > entry.maximum) {
                *error = entry.argument
                    ? QStringLiteral("fault %1 takes %2 from %3 to %4, not '%5'").arg(QLatin1String(entry.name),
                          QLatin1String(entry.argument)).arg(entry.minimum).arg(entry.maximum).arg(argument)
                    : QStringLiteral("fault %1 takes no argument").arg(QLatin1String(entry.name));
                return false;
            }
        }
        *fault = entry.fault;
        *param = value;
        return true;
    }
    QStringList names;
    for (const Mode &entry : Modes)
        names << QLatin1String(entry.name);
    *error = QStringLiteral("unknown fault '%1' (one of %2)").arg(mode, names.join(QStringLiteral(", ")));
    return false;
}

QString SimFaultName::name(SimPlc::Fault fault)
{
    for (const Mode &entry : Modes) {
        if (entry.fault == fault)
            return QLatin1String(entry.name);
    }
    return QString();
}

QString SimFaultName::help()
{
    QStringList lines;
    for (const Mode &entry : Modes) {
        const QString mode = entry.argument ? QStringLiteral("%1[:%2]").arg(QLatin1String(entry.name),
                                                                           QLatin1String(entry.argument))
                                            : QLatin1String(entry.name);
        lines << QStringLiteral("  %1 %2").arg(mode, -16).arg(QLatin1String(entry.meaning));
    }
    return lines.join(QLatin1Char('\n'));
}
