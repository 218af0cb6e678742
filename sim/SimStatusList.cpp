#include "SimStatusList.h"

#include <QtEndian>

#include <iterator>

namespace {

// Every list is asked for as a whole, with index 0.
constexpr quint16 WholeList = 0x0000;

// Module identification: index, order number, module type, two version words.
constexpr int ModuleRecordSize = 28;
constexpr int OrderNumberSize = 20;
constexpr char OrderNumberPad = ' ';
constexpr char OrderNumber[] = "6ES7 315-2EH14-0AB0";
constexpr quint16 ModuleRecord = 0x0001;
constexpr quint16 HardwareRecord = 0x0006;
constexpr quint16 FirmwareRecord = 0x0007;
constexpr quint16 ModuleType = 0x0000;
constexpr quint16 HardwareVersion = 0x0004;
constexpr quint16 HardwareRelease = 0x0001;
// The firmware version V3.2.6: 'V' and the major number, then minor and patch.
constexpr quint16 FirmwareVersion = ('V' << 8) | 3;
constexpr quint16 FirmwareRelease = (2 << 8) | 6;

// Component identification: index and a zero-padded text of 32 bytes.
constexpr int ComponentRecordSize = 34;
constexpr int ComponentTextSize = 32;
struct Component
{
    quint16 index;
    const char *text;
};
// Index 6 is not used by S7-300 CPUs, so the module type name is the sixth record.
constexpr Component Components[] = {
    {0x0001, "Quillmarsh simulator"},       // name of the automation system
    {0x0002, "CPU 315-2 PN/DP"},            // name of the module
    {0x0003, ""},                           // plant identification
    {0x0004, "Original Siemens Equipment"}, // copyright
    {0x0005, "S C-QM0000000001"},           // serial number of the module
    {0x0007, "CPU 315-2 PN/DP"},            // module type name
    {0x0008, "MMC 5153494D"},               // serial number of the memory card
};

// Operating mode: event, mode transition, start-up information, time stamp.
constexpr int ModeRecordSize = 20;
constexpr quint16 EventStartupToRun = 0x4302;
constexpr quint8 ModeInfoUnused = 0xFF;
constexpr quint8 ModeRun = 0x08; // requested mode in the low nibble; the previous one is not kept
constexpr int ModeReservedSize = 4;
constexpr quint8 StartupInfo = 0x00;
constexpr quint8 StartupByModeSelector = 0x03;     // complete restart set at the mode selector
constexpr quint8 StartupTypesPermitted = 0x01;
constexpr quint8 LastStartupByModeSelector = 0x03;

void append16(QByteArray *out, quint16 value)
{
    char be[2];
    qToBigEndian(value, be);
    out->append(be, 2);
}

// A text cut or padded to exactly size bytes.
QByteArray field(const char *text, int size, char pad)
{
    QByteArray bytes(text);
    bytes.truncate(size);
    return bytes + QByteArray(size - bytes.size(), pad);
}

char bcd(int value)
{
    return char(((value / 10) % 10) << 4 | (value % 10));
}

// S7 DATE_AND_TIME: BCD year (two digits), month, day, hour, minute, second,
// the first two digits of the milliseconds, then the last digit and the
// weekday (1 = Sunday).
QByteArray dateAndTime(const QDateTime &time)
{
    const QDate date = time.date();
    const QTime clock = time.time();
    QByteArray bytes;
    bytes.append(bcd(date.year() % 100)).append(bcd(date.month())).append(bcd(date.day()));
    bytes.append(bcd(clock.hour())).append(bcd(clock.minute())).append(bcd(clock.second()));
    bytes.append(bcd(clock.msec() / 10));
    bytes.append(char((clock.msec() % 10) << 4 | (date.dayOfWeek() % 7 + 1)));
    return bytes;
}

// SZL header: length of one record in bytes and the number of records.
QByteArray header(int recordSize, int records)
{
    QByteArray bytes;
    append16(&bytes, quint16(recordSize));
    append16(&bytes, quint16(records));
    return bytes;
}

} // namespace

SimStatusList::SimStatusList(const QDateTime &since)
    : runSince(since)
{
}

bool SimStatusList::read(quint16 id, quint16 index, QByteArray *list) const
{
    if (index != WholeList)
        return false;
    switch (id) {
    case ModuleIdentification: *list = moduleIdentification(); return true;
    case ComponentIdentification: *list = componentIdentification(); return true;
    case OperatingMode: *list = operatingMode(); return true;
    default: return false;
    }
}

QByteArray SimStatusList::moduleIdentification() const
{
    struct Record { quint16 index, version, release; };
    const Record records[] = {
        {ModuleRecord, HardwareVersion, HardwareRelease},
        {HardwareRecord, HardwareVersion, HardwareRelease},
        {FirmwareRecord, FirmwareVersion, FirmwareRelease},
    };
    QByteArray list = header(ModuleRecordSize, int(std::size(records)));
    for (const Record &record : records) {
        append16(&list, record.index);
        list.append(field(OrderNumber, OrderNumberSize, OrderNumberPad));
        append16(&list, ModuleType);
        append16(&list, record.version);
        append16(&list, record.release);
    }
    return list;
}

QByteArray SimStatusList::componentIdentification() const
{
    QByteArray list = header(ComponentRecordSize, int(std::size(Components)));
    for (const Component &component : Components) {
        append16(&list, component.index);
        list.append(field(component.text, ComponentTextSize, '\0'));
    }
    return list;
}

QByteArray SimStatusList::operatingMode() const
{
    QByteArray list = header(ModeRecordSize, 1);
    append16(&list, EventStartupToRun);
    list.append(char(ModeInfoUnused)).append(char(ModeRun));
    list.append(QByteArray(ModeReservedSize, '\0'));
    list.append(char(StartupInfo)).append(char(StartupByModeSelector));
    list.append(char(StartupTypesPermitted)).append(char(LastStartupByModeSelector));
    list.append(dateAndTime(runSince));
    return list;
}
