#include "StatusText.h"

namespace {
struct Meaning
{
    int code;
    const char *text;
};

const Meaning kStatus[] = {
    {0, "ok"},
    {1, "not yet done"},
    {2, "data type not served"},
    {4, "element count not acceptable"},
    {5, "byte address invalid"},
    {6, "write to inputs refused"},
    {7, "PLC answer not acceptable"},
    {8, "no answer from PLC"},
    {9, "not connected"},
};

const Meaning kConnect[] = {
    {0, "ok"},
    {-1, "bad connection text or IP address"},
    {-2, "handshake with the PLC failed"},
    {-3, "TCP connection not established within 3000 ms"},
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
