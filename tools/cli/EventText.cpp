#include "EventText.h"

#include <iterator>

namespace {

constexpr int ClassShift = 12;

const char *const kClasses[] = {
    nullptr,
    "standard OB event",
    "synchronous error",
    "asynchronous error",
    "mode transition",
    "run-time event",
    "communication event",
    "fault-tolerant or fail-safe system event",
    "standardized module diagnostics",
    "predefined user event",
    "freely definable event",
    "freely definable event",
};

struct Known
{
    quint16 id;
    const char *text;
};

const Known kKnown[] = {
    {0x1381, "request for a manual warm restart"},
    {0x1382, "request for an automatic warm restart"},
    {0x1385, "request for a manual cold restart"},
    {0x2521, "BCD conversion error"},
    {0x2522, "area length error when reading"},
    {0x2523, "area length error when writing"},
    {0x253A, "data block not loaded"},
    {0x3501, "cycle time exceeded"},
    {0x4300, "power on, backed up"},
    {0x4301, "STOP to STARTUP"},
    {0x4302, "STARTUP to RUN"},
    {0x4303, "STOP by the mode selector"},
    {0x4304, "STOP by a programming device"},
    {0x4307, "memory reset by a programming device"},
    {0x4308, "memory reset by the mode selector"},
    {0x4309, "memory reset at power on, not backed up"},
};

} // namespace

QString EventText::className(quint16 eventId)
{
    const int eventClass = eventId >> ClassShift;
    const char *name = eventClass < int(std::size(kClasses)) ? kClasses[eventClass] : nullptr;
    return name ? QString::fromLatin1(name) : QStringLiteral("reserved class %1").arg(QString::number(eventClass, 16).toUpper());
}

QString EventText::text(quint16 eventId)
{
    for (const Known &k : kKnown) {
        if (k.id == eventId)
            return QLatin1String(k.text);
    }
    return QString();
}
