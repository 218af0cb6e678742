#include "StatusText.h"

#include "ResultCodes.h"

namespace {
struct Meaning
{
    int code;
    const char *text;
};

const Meaning kStatus[] = {
    {StatusOk, "ok"},
    {StatusNotDone, "not yet done"},
    {StatusTypeNotServed, "data type not served"},
    {StatusBadCount, "element count not acceptable"},
    {StatusBadAddress, "byte address invalid"},
    {StatusInputArea, "write to inputs refused"},
    {StatusBadReply, "PLC answer not acceptable"},
    {StatusNoReply, "no answer from PLC"},
    {StatusNotConnected, "not connected"},
};

const Meaning kConnect[] = {
    {ConnectOk, "ok"},
    {ConnectBadText, "bad connection text or IP address"},
    {ConnectHandshakeFailed, "handshake with the PLC failed"},
    {ConnectTimeout, "TCP connection not established within 3000 ms"},
};

template <int N>
QString lookUp(const Meaning (&table)[N], int code)
{
    for (const Meaning &m : table) {
        if (m.code == code)
            return QString::fromLatin1(m.text);
    }
    return QStringLiteral("unknown code");
}
} // namespace

QString StatusText::meaning(int status)
{
    return lookUp(kStatus, status);
}

QString StatusText::status(int status)
{
    return QStringLiteral("%1 %2").arg(status).arg(meaning(status));
}

QString StatusText::connectResult(int code)
{
    return QStringLiteral("%1 %2").arg(code).arg(lookUp(kConnect, code));
}
