#include "S7SystemLists.h"

#include "ByteReader.h"
#include "S7Types.h"

namespace {

// Record layouts, as the CPUs' system state lists have them.
constexpr int ModuleRecordSize = 28;    // 0x0011: index, order number (20), type, two version words
constexpr int OrderNumberSize = 20;
constexpr quint16 ModuleRecord = 0x0001;
constexpr quint16 FirmwareRecord = 0x0007;
constexpr int ComponentRecordSize = 34; // 0x001C: index, a text of up to 32 bytes
constexpr quint16 ModuleNameRecord = 0x0002;
constexpr quint16 SerialNumberRecord = 0x0005;
constexpr quint16 ModuleTypeNameRecord = 0x0007;
constexpr int ModeRecordSize = 4;       // 0x0424: event id, info, new mode
constexpr int ModeOffset = 3;
constexpr int ProtectionRecordSize = 12; // 0x0232 index 4: index and five levels
constexpr int DiagnosticRecordSize = 20; // 0x00A0: event id, ten bytes of info, date and time
constexpr int DiagnosticInfoSize = 10;
constexpr int YearPivot = 90;            // two-digit years from 90 are 19xx

QString text(const QByteArray &bytes)
{
    int end = bytes.size();
    while (end > 0 && (bytes.at(end - 1) == '\0' || bytes.at(end - 1) == ' '))
        --end;
    return QString::fromLatin1(bytes.constData(), end);
}

quint16 indexOf(const QByteArray &record)
{
    return quint16(quint8(record.at(0)) << 8 | quint8(record.at(1)));
}

// -1 for a byte that is not two BCD digits.
int bcd(quint8 byte)
{
    const int high = byte >> 4, low = byte & 0x0F;
    return high > 9 || low > 9 ? -1 : high * 10 + low;
}

QString modeName(int mode)
{
    switch (mode) {
    case 0x08: return QStringLiteral("RUN");
    case 0x01: case 0x02: case 0x03: case 0x04: return QStringLiteral("STOP");
    case 0x05: case 0x06: case 0x07: return QStringLiteral("STARTUP");
    case 0x0A: return QStringLiteral("HOLD");
    case 0x0D: return QStringLiteral("DEFECT");
    default: return QStringLiteral("unknown");
    }
}

} // namespace

namespace S7SystemLists {

bool records(const QByteArray &list, int minSize, QVector<QByteArray> *out)
{
    ByteReader in(list);
    in.seek(S7::SzlSelectorSize);
    const int size = in.u16();
    const int count = in.u16();
    if (!in.ok() || size < minSize)
        return false;
    out->clear();
    for (int i = 0; i < count && in.remaining() >= size; ++i)
        out->append(in.bytes(size));
    return true;
}

bool identity(const QByteArray &moduleList, const QByteArray &componentList, CDriveExtension::CpuIdentity *out)
{
    QVector<QByteArray> modules, components;
    if (!records(moduleList, ModuleRecordSize, &modules) || !records(componentList, ComponentRecordSize, &components))
        return false;
    bool known = false;
    for (const QByteArray &record : qAsConst(modules)) {
        ByteReader in(record);
        const quint16 index = in.u16();
        const QByteArray order = in.bytes(OrderNumberSize);
        in.u16(); // module type
        const quint16 first = in.u16();
        const quint16 second = in.u16();
        if (index == ModuleRecord) {
            out->orderNumber = text(order);
            known = true;
        } else if (index == FirmwareRecord) {
            // 'V' and the major version, then minor and patch.
            out->firmwareVersion = QStringLiteral("%1%2.%3.%4")
                                       .arg(QChar(first >> 8)).arg(first & 0xFF).arg(second >> 8).arg(second & 0xFF);
            known = true;
        }
    }
    for (const QByteArray &record : qAsConst(components)) {
        const QString value = text(record.mid(2));
        switch (indexOf(record)) {
        case ModuleNameRecord: out->moduleName = value; known = true; break;
        case SerialNumberRecord: out->serialNumber = value; known = true; break;
        case ModuleTypeNameRecord: out->moduleTypeName = value; known = true; break;
        default: break;
        }
    }
    return known;
}

bool operatingState(const QByteArray &list, CDriveExtension::OperatingState *out)
{
    QVector<QByteArray> found;
    if (!records(list, ModeRecordSize, &found) || found.isEmpty())
        return false;
    out->mode = quint8(found.first().at(ModeOffset));
    out->name = modeName(out->mode);
    return true;
}

bool protection(const QByteArray &list, CDriveExtension::Protection *out)
{
    QVector<QByteArray> found;
    if (!records(list, ProtectionRecordSize, &found) || found.isEmpty())
        return false;
    ByteReader in(found.first());
    in.u16(); // index
    out->selectorLevel = in.u16();
    out->passwordLevel = in.u16();
    out->level = in.u16();
    out->modeSelector = in.u16();
    out->startupSwitch = in.u16();
    return true;
}

bool diagnosticBuffer(const QByteArray &list, QList<CDriveExtension::DiagnosticEvent> *out)
{
    QVector<QByteArray> found;
    if (!records(list, DiagnosticRecordSize, &found))
        return false;
    out->clear();
    for (const QByteArray &record : qAsConst(found)) {
        ByteReader in(record);
        CDriveExtension::DiagnosticEvent event;
        event.eventId = in.u16();
        event.info = in.bytes(DiagnosticInfoSize);
        event.time = dateAndTime(in.bytes(S7::DateAndTimeSize));
        out->append(event);
    }
    return true;
}

bool clock(const QByteArray &data, QDateTime *out)
{
    if (data.size() != S7::ClockReplySize)
        return false;
    // The two bytes in front (reserved, and a century some CPUs fill in)
    // are not needed: the year byte itself tells the century.
    const QDateTime time = dateAndTime(data.mid(S7::ClockReplySize - S7::DateAndTimeSize));
    if (!time.isValid())
        return false;
    *out = time;
    return true;
}

QDateTime dateAndTime(const QByteArray &bytes)
{
    if (bytes.size() != S7::DateAndTimeSize)
        return QDateTime();
    int field[7];
    for (int i = 0; i < 7; ++i) {
        field[i] = bcd(quint8(bytes.at(i)));
        if (field[i] < 0)
            return QDateTime();
    }
    const int lastDigit = quint8(bytes.at(7)) >> 4;
    if (lastDigit > 9)
        return QDateTime();
    const int year = field[0] + (field[0] >= YearPivot ? 1900 : 2000);
    const QDate date(year, field[1], field[2]);
    const QTime time(field[3], field[4], field[5], field[6] * 10 + lastDigit);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}

} // namespace S7SystemLists
