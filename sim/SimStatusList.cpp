#include "SimStatusList.h"

#include "SimBigEndian.h"
#include "SimCpuProfile.h"

#include <QtEndian>

#include <algorithm>
#include <iterator>

namespace {

// Extracts of a partial list (the high byte of an id).
constexpr quint8 ExtractAll = 0x00;
constexpr quint8 ExtractOne = 0x01;      // the record named by the index
constexpr quint8 ExtractCurrent = 0x04;  // of the operating mode: the current one
constexpr quint8 ExtractHeader = 0x0F;   // record length and count, no records
constexpr int ExtractShift = 8;
constexpr quint8 ModuleList = 0x11;
constexpr quint8 ComponentList = 0x1C;
constexpr quint8 ModeList = 0x24;
constexpr quint16 WholeList = 0x0000;
constexpr quint16 ModeIndexes[] = {0x0000, 0x0004}; // both answered with index 0

// Module identification: index, order number, module type, two version words.
constexpr int ModuleRecordSize = 28;
constexpr int OrderNumberSize = 20;
constexpr char Blank = ' ';
constexpr quint16 ModuleRecord = 0x0001;
constexpr quint16 HardwareRecord = 0x0006;
constexpr quint16 FirmwareRecord = 0x0007;
constexpr quint16 BootLoaderRecord = 0x0081;
constexpr quint16 ClassicReserved = 0x0001;     // third word of the module and hardware records
constexpr quint16 CompactReserved = 0x2020;     // two blanks there on S7-1200 CPUs
constexpr char BootLoaderName[] = "Boot Loader";
constexpr quint16 BootLoaderVersion[] = {0x4120, 0x0909};
constexpr quint8 VersionPrefix = 'V';

// Component identification: index and 32 bytes, texts padded with NUL.
constexpr int ComponentRecordSize = 34;
constexpr int ComponentFieldSize = 32;
constexpr quint16 VendorRecord = 0x0009;
constexpr quint16 SiemensVendorId = 0x002A;
constexpr quint16 CpuProfileId = 0xF600;
constexpr quint16 CpuProfileType = 0x0001;
constexpr quint16 OemRecord = 0x000A;       // OEM identification: empty
constexpr quint16 LocationRecord = 0x000B;  // location designation: empty
constexpr char StationName[] = "Quillmarsh simulator";
constexpr char PlcName[] = "PLC_1";
constexpr char Copyright[] = "Original Siemens Equipment";

// Operating mode: event word, unused byte, mode, 8 reserved bytes, clock.
constexpr int ModeRecordSize = 20;
constexpr quint16 ModeEvent = 0x5144; // the word every CPU observed answers with
constexpr quint8 ModeInfoUnused = 0xFF;
constexpr quint8 ModeRun = 0x08;
constexpr quint8 ModeStop = 0x04;
constexpr int ModeReservedSize = 8;

// Partial lists an S7-300 CPU keeps, from its own list of lists (0x0000); an
// index asked of one of them that it lacks is refused as such (0xD402), an id
// not here as an unknown list (0xD401).
constexpr quint16 ClassicDirectory[] = {
    0x0000, 0x0F00, 0x0002, 0x0011, 0x0111, 0x0F11, 0x0012, 0x0112, 0x0F12, 0x0013, 0x0113, 0x0014, 0x0F14,
    0x0015, 0x0115, 0x0017, 0x0117, 0x0F17, 0x0018, 0x0118, 0x0F18, 0x0019, 0x0F19, 0x001A, 0x0F1A, 0x001B,
    0x0F1B, 0x001C, 0x011C, 0x0F1C, 0x0021, 0x0A21, 0x0F21, 0x0222, 0x0023, 0x0F23, 0x0024, 0x0124, 0x0424,
    0x0524, 0x0025, 0x0125, 0x0225, 0x0F25, 0x0131, 0x0132, 0x0232, 0x0036, 0x0136, 0x0F36, 0x0037, 0x0137,
    0x0F37, 0x0038, 0x0138, 0x0238, 0x0F38, 0x0139, 0x003A, 0x0F3A, 0x0074, 0x0174, 0x0F74, 0x0591, 0x0A91,
    0x0C91, 0x0D91, 0x0092, 0x0292, 0x0692, 0x0F92, 0x0094, 0x0194, 0x0294, 0x0694, 0x0794, 0x0F94, 0x0095,
    0x0195, 0x0F95, 0x0696, 0x0C96, 0x0C97, 0x0D97, 0x019A, 0x029A, 0x0F9A, 0x0C9B, 0x009C, 0x019C, 0x029C,
    0x039C, 0x0F9C, 0x00A0, 0x01A0, 0x0FA0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x01B5, 0x02B5, 0x03B5,
};
// An S7-1200 CPU is taken to keep only the lists served here.
constexpr quint16 CompactDirectory[] = {0x0011, 0x0111, 0x0F11, 0x001C, 0x011C, 0x0F1C, 0x0424};


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

QByteArray identificationRecord(quint16 index, const QByteArray &orderNumber, quint16 type, quint16 first,
                                quint16 second)
{
    QByteArray record;
    append16(&record, index);
    record.append(orderNumber);
    append16(&record, type);
    append16(&record, first);
    append16(&record, second);
    return record;
}

QByteArray componentRecord(quint16 index, const QByteArray &content)
{
    QByteArray record;
    append16(&record, index);
    return record + content + QByteArray(ComponentFieldSize - content.size(), '\0');
}

template <size_t N>
bool contains(const quint16 (&ids)[N], quint16 id)
{
    return std::find(std::begin(ids), std::end(ids), id) != std::end(ids);
}

} // namespace

SimStatusList::SimStatusList(const SimCpuProfile &cpu)
    : profile(cpu)
{
}

SimStatusList::Result SimStatusList::read(quint16 id, quint16 index, bool running, const QDateTime &now,
                                          QByteArray *answer) const
{
    const quint8 extract = quint8(id >> ExtractShift);
    List list;
    const bool served = partialList(quint8(id), running, now, &list)
        && (quint8(id) == ModeList ? extract == ExtractCurrent
                                   : extract == ExtractAll || extract == ExtractOne || extract == ExtractHeader);
    // S7-1200 CPUs answer an index they do not keep as an unknown list.
    const Result refused = keeps(id) && profile.identification == SimCpuProfile::Identification::Classic
        ? Result::NoSuchIndex : Result::NoSuchList;
    if (!served)
        return refused;

    QList<Record> records;
    quint16 answeredIndex = index;
    if (extract == ExtractCurrent) {
        if (!contains(ModeIndexes, index))
            return refused;
        answeredIndex = WholeList;
        records = list.records;
    } else if (extract == ExtractAll) {
        if (!list.anyIndex && index != WholeList)
            return refused;
        records = list.records;
    } else if (extract == ExtractOne) {
        for (const Record &record : qAsConst(list.records)) {
            if (record.index == index)
                records.append(record);
        }
        if (records.isEmpty())
            return refused;
    } else if (index != WholeList) {
        return refused;
    }
    // The header-only extract counts the records it leaves out.
    const int count = extract == ExtractHeader ? list.records.size() : records.size();

    answer->clear();
    append16(answer, id);
    append16(answer, answeredIndex);
    append16(answer, quint16(list.recordSize));
    append16(answer, quint16(count));
    for (const Record &record : qAsConst(records))
        answer->append(record.bytes);
    return Result::Ok;
}

bool SimStatusList::partialList(quint8 number, bool running, const QDateTime &now, List *list) const
{
    switch (number) {
    case ModuleList: *list = identification(); return true;
    case ComponentList: *list = components(); return true;
    case ModeList: *list = operatingMode(running, now); return true;
    default: return false;
    }
}

bool SimStatusList::keeps(quint16 id) const
{
    return profile.identification == SimCpuProfile::Identification::Classic ? contains(ClassicDirectory, id)
                                                                            : contains(CompactDirectory, id);
}

SimStatusList::List SimStatusList::identification() const
{
    List list;
    list.recordSize = ModuleRecordSize;
    list.anyIndex = true;
    const QByteArray order = field(profile.orderNumber, OrderNumberSize, Blank);
    const quint16 major = quint16(VersionPrefix << 8 | profile.firmware.major);
    const quint16 minorPatch = quint16(profile.firmware.minor << 8 | profile.firmware.patch);
    const bool classic = profile.identification == SimCpuProfile::Identification::Classic;
    const quint16 reserved = classic ? ClassicReserved : CompactReserved;
    for (quint16 index : {ModuleRecord, HardwareRecord})
        list.records.append({index, identificationRecord(index, order, profile.moduleType, profile.hardwareVersion,
                                                         reserved)});
    // Classic CPUs leave the order number out of the firmware record.
    const QByteArray firmwareOrder = classic ? QByteArray(OrderNumberSize, Blank) : order;
    list.records.append({FirmwareRecord, identificationRecord(FirmwareRecord, firmwareOrder, profile.moduleType,
                                                              major, minorPatch)});
    if (classic) {
        list.records.append({BootLoaderRecord,
                             identificationRecord(BootLoaderRecord, field(BootLoaderName, OrderNumberSize, Blank), 0,
                                                  BootLoaderVersion[0], BootLoaderVersion[1])});
    }
    return list;
}

SimStatusList::List SimStatusList::components() const
{
    List list;
    list.recordSize = ComponentRecordSize;
    list.anyIndex = profile.identification == SimCpuProfile::Identification::Classic;
    const auto text = [](const char *value) { return QByteArray(value).left(ComponentFieldSize); };
    const struct { quint16 index; QByteArray content; } texts[] = {
        {0x0001, text(StationName)},            // name of the automation system
        {0x0002, text(PlcName)},                // name of the module
        {0x0003, QByteArray()},                 // plant identification
        {0x0004, text(Copyright)},
        {0x0005, text(profile.serialNumber)},   // serial number of the module
        {0x0007, text(profile.moduleTypeName)}, // module type name
        {0x0008, text(profile.memoryCard)},     // serial number of the memory card
    };
    for (const auto &entry : texts)
        list.records.append({entry.index, componentRecord(entry.index, entry.content)});
    QByteArray vendor;
    append16(&vendor, SiemensVendorId);
    append16(&vendor, CpuProfileId);
    append16(&vendor, CpuProfileType);
    list.records.append({VendorRecord, componentRecord(VendorRecord, vendor)});
    for (quint16 index : {OemRecord, LocationRecord})
        list.records.append({index, componentRecord(index, QByteArray())});
    return list;
}

SimStatusList::List SimStatusList::operatingMode(bool running, const QDateTime &now)
{
    QByteArray record;
    append16(&record, ModeEvent);
    record.append(char(ModeInfoUnused)).append(char(running ? ModeRun : ModeStop));
    record.append(QByteArray(ModeReservedSize, '\0'));
    record.append(dateAndTime(now));
    List list;
    list.recordSize = ModeRecordSize;
    list.records.append({0, record});
    return list;
}
