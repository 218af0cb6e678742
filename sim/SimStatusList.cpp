#include "SimStatusList.h"

#include "SimBigEndian.h"
#include "SimCpuProfile.h"
#include "SimCpuState.h"
#include "SimDateAndTime.h"

#include <QtEndian>

#include <algorithm>
#include <iterator>

namespace {

constexpr quint8 DirectoryList = 0x00;
constexpr quint8 ModuleList = 0x11;
constexpr quint8 ComponentList = 0x1C;
constexpr quint8 CapabilitiesList = 0x31;
constexpr quint8 ProtectionList = 0x32;
constexpr quint8 DiagnosticList = 0xA0;
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

// The list of lists: one id per record.
constexpr int DirectoryRecordSize = 2;

// Communication capabilities, general part (index 1): largest PDU,
// connections, MPI and bus rates and the Ethernet rate in bit/s, as an
// S7-300 lays them out (captures of ours); the rest of the record is 0.
constexpr int CapabilitiesRecordSize = 40;
constexpr quint16 CapabilitiesGeneral = 0x0001;
constexpr quint32 MpiRate = 12000000;
constexpr quint32 BusRate = 187500;
constexpr quint32 EthernetRate = 100000000;

// Protection (index 4): protection level of the mode selector, the level
// the password guards, the level in force, the selector's position and
// the startup switch; the rest of the record is 0.
constexpr int ProtectionRecordSize = 40;
constexpr quint16 ProtectionRecord = 0x0004;
constexpr quint16 SelectorLevel = 1;          // no key switch restricts access
constexpr quint16 SelectorRunProgram = 2;     // RUN-P, on the families with a mode selector
constexpr quint16 SelectorUndefined = 0;

// Diagnostic buffer: event id, priority class, OB number, data id, two
// words of additional information, the time stamp. Our entries carry no
// OB or additional information.
constexpr int DiagnosticRecordSize = 20;
constexpr quint8 NoPriorityClass = 0xFF;
constexpr quint8 NoOb = 0xFF;
constexpr int DiagnosticInfoSize = 8;

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
// The compact families are taken to keep only the lists served here.
constexpr quint16 CompactDirectory[] = {0x0000, 0x0F00, 0x0011, 0x0111, 0x0F11, 0x001C, 0x011C, 0x0F1C, 0x0131,
                                        0x0232, 0x00A0, 0x01A0, 0x0FA0, 0x0424};



// A text cut or padded to exactly size bytes.
QByteArray field(const char *text, int size, char pad)
{
    QByteArray bytes(text);
    bytes.truncate(size);
    return bytes + QByteArray(size - bytes.size(), pad);
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

SimStatusList::Result SimStatusList::read(quint16 id, quint16 index, const SimCpuState &cpu, bool legitimated,
                                          QByteArray *answer) const
{
    static const struct { quint16 id; Extract extract; } Served[] = {
        {0x0000, Extract::All}, {0x0F00, Extract::Header},
        {0x0011, Extract::All}, {0x0111, Extract::One}, {0x0F11, Extract::Header},
        {0x001C, Extract::All}, {0x011C, Extract::One}, {0x0F1C, Extract::Header},
        {0x0131, Extract::One}, {0x0132, Extract::One}, {0x0232, Extract::One},
        {0x00A0, Extract::All}, {0x01A0, Extract::Latest}, {0x0FA0, Extract::Header},
        {0x0424, Extract::Current},
    };
    const auto served = std::find_if(std::begin(Served), std::end(Served), [id](const auto &s) { return s.id == id; });
    // S7-1200 CPUs answer an index they do not keep as an unknown list.
    const Result refused = keeps(id) && classic() ? Result::NoSuchIndex : Result::NoSuchList;
    List list;
    if (served == std::end(Served) || !keeps(id) || !partialList(quint8(id), cpu, legitimated, &list))
        return refused;

    QList<Record> records;
    quint16 answeredIndex = index;
    switch (served->extract) {
    case Extract::Current:
        if (!contains(ModeIndexes, index))
            return refused;
        answeredIndex = WholeList;
        records = list.records;
        break;
    case Extract::All:
        if (!list.anyIndex && index != WholeList)
            return refused;
        records = list.records;
        break;
    case Extract::One:
        for (const Record &record : qAsConst(list.records)) {
            if (record.index == index)
                records.append(record);
        }
        if (records.isEmpty())
            return refused;
        break;
    case Extract::Latest:
        if (index == 0)
            return refused;
        records = list.records.mid(0, index);
        break;
    case Extract::Header:
        if (index != WholeList)
            return refused;
        break;
    }
    // The header-only extract counts the records it leaves out.
    const int count = served->extract == Extract::Header ? list.records.size() : records.size();

    answer->clear();
    append16(answer, id);
    append16(answer, answeredIndex);
    append16(answer, quint16(list.recordSize));
    append16(answer, quint16(count));
    for (const Record &record : qAsConst(records))
        answer->append(record.bytes);
    return Result::Ok;
}

bool SimStatusList::partialList(quint8 number, const SimCpuState &cpu, bool legitimated, List *list) const
{
    switch (number) {
    case DirectoryList: *list = directory(); return true;
    case ModuleList: *list = identification(); return true;
    case ComponentList: *list = components(); return true;
    case CapabilitiesList: *list = capabilities(); return true;
    case ProtectionList: *list = protection(cpu, legitimated); return true;
    case DiagnosticList: *list = diagnostics(cpu); return true;
    case ModeList: *list = operatingMode(cpu); return true;
    default: return false;
    }
}

bool SimStatusList::classic() const
{
    return profile.identification == SimCpuProfile::Identification::Classic;
}

bool SimStatusList::keeps(quint16 id) const
{
    return classic() ? contains(ClassicDirectory, id) : contains(CompactDirectory, id);
}

SimStatusList::List SimStatusList::directory() const
{
    List list;
    list.recordSize = DirectoryRecordSize;
    const auto add = [&list](quint16 id) {
        QByteArray record;
        append16(&record, id);
        list.records.append({id, record});
    };
    if (classic())
        std::for_each(std::begin(ClassicDirectory), std::end(ClassicDirectory), add);
    else
        std::for_each(std::begin(CompactDirectory), std::end(CompactDirectory), add);
    return list;
}

SimStatusList::List SimStatusList::identification() const
{
    List list;
    list.recordSize = ModuleRecordSize;
    list.anyIndex = true;
    const QByteArray order = field(profile.orderNumber, OrderNumberSize, Blank);
    const quint16 major = quint16(VersionPrefix << 8 | profile.firmware.major);
    const quint16 minorPatch = quint16(profile.firmware.minor << 8 | profile.firmware.patch);
    const quint16 reserved = classic() ? ClassicReserved : CompactReserved;
    for (quint16 index : {ModuleRecord, HardwareRecord})
        list.records.append({index, identificationRecord(index, order, profile.moduleType, profile.hardwareVersion,
                                                         reserved)});
    // Classic CPUs leave the order number out of the firmware record.
    const QByteArray firmwareOrder = classic() ? QByteArray(OrderNumberSize, Blank) : order;
    list.records.append({FirmwareRecord, identificationRecord(FirmwareRecord, firmwareOrder, profile.moduleType,
                                                              major, minorPatch)});
    if (classic()) {
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
    list.anyIndex = classic();
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

SimStatusList::List SimStatusList::capabilities() const
{
    QByteArray record;
    append16(&record, CapabilitiesGeneral);
    append16(&record, quint16(profile.pduLimit));
    append16(&record, quint16(profile.connections.total));
    append32(&record, MpiRate);
    append32(&record, BusRate);
    append32(&record, EthernetRate);
    List list;
    list.recordSize = CapabilitiesRecordSize;
    list.records.append({CapabilitiesGeneral, record.leftJustified(CapabilitiesRecordSize, '\0')});
    return list;
}

SimStatusList::List SimStatusList::protection(const SimCpuState &cpu, bool legitimated)
{
    const int level = cpu.protectionLevel();
    const bool selector = cpu.profile().identification == SimCpuProfile::Identification::Classic;
    QByteArray record;
    append16(&record, ProtectionRecord);
    append16(&record, SelectorLevel);
    append16(&record, quint16(level > 1 ? level : 0));
    append16(&record, quint16(legitimated ? 1 : level));
    append16(&record, selector ? SelectorRunProgram : SelectorUndefined);
    List list;
    list.recordSize = ProtectionRecordSize;
    list.records.append({ProtectionRecord, record.leftJustified(ProtectionRecordSize, '\0')});
    return list;
}

SimStatusList::List SimStatusList::diagnostics(const SimCpuState &cpu)
{
    List list;
    list.recordSize = DiagnosticRecordSize;
    for (const SimCpuState::Event &event : cpu.events()) {
        QByteArray record;
        append16(&record, event.id);
        record.append(char(NoPriorityClass)).append(char(NoOb));
        record.append(QByteArray(DiagnosticInfoSize, '\0'));
        record.append(SimDateAndTime::encode(event.time));
        list.records.append({event.id, record});
    }
    return list;
}

SimStatusList::List SimStatusList::operatingMode(const SimCpuState &cpu)
{
    QByteArray record;
    append16(&record, ModeEvent);
    record.append(char(ModeInfoUnused)).append(char(cpu.running() ? ModeRun : ModeStop));
    record.append(QByteArray(ModeReservedSize, '\0'));
    record.append(SimDateAndTime::encode(cpu.now()));
    List list;
    list.recordSize = ModeRecordSize;
    list.records.append({0, record});
    return list;
}
