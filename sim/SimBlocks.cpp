#include "SimBlocks.h"

#include "SimBigEndian.h"
#include "SimCpuProfile.h"
#include "SimMemory.h"
#include "SimWire.h"

#include <algorithm>

namespace {

using namespace SimWire;

constexpr char ListedTypes[] = {BlockTypeOb, BlockTypeFb, BlockTypeFc, BlockTypeDb,
                                BlockTypeSdb, BlockTypeSfc, BlockTypeSfb};
constexpr int BlockNameSize = 8;

// An entry of a list of one type: number, flags, language.
constexpr quint8 ListedFlags = 0x22;
constexpr quint8 LanguageDb = 0x05;

// The block header a CPU gives in block info, laid out as a data block's
// from an S7-300 (captures of ours): constants, flags, language and type,
// number, lengths of load memory, code, interface and local data, time
// stamps, author, family, name, version and checksum. Its load memory is
// the code with its interface and 72 bytes of header and footer (true of
// every block in those captures); a data block's interface is taken to be
// the 20 bytes of the smallest one there.
constexpr quint8 InfoStart[] = {0x01, 0x00, 0x00, 0x4A, 0x22, 0x00, 0x70, 0x70};
constexpr quint8 InfoUnknown = 0x01;
constexpr quint8 InfoDbFlags = 0x01;
constexpr quint8 SubBlockDb = 0x0A;
constexpr int LoadOverhead = 72;
constexpr int DbInterfaceBytes = 20;
constexpr int TimeStampSize = 6;         // milliseconds of the day, days since 1984: ours are 0
constexpr int TextFieldsSize = 3 * 8;    // author, family, name: ours are empty
constexpr quint8 HeaderVersion = 0x10;   // 1.0
constexpr int InfoTrailerSize = 2 + 8;   // checksum, reserved
// An S7-1200 allocates load memory in kibibytes and reports that as the code size.
constexpr int AllocationUnit = 1024;

} // namespace

QByteArray SimBlocks::listAll(const SimMemory &memory)
{
    QByteArray payload;
    for (char type : ListedTypes) {
        payload.append(BlockPrefix).append(type);
        append16(&payload, quint16(type == BlockTypeDb ? memory.blockNumbers().size() : 0));
    }
    return payload;
}

QByteArray SimBlocks::listOfType(char type, const SimMemory &memory)
{
    QByteArray payload;
    if (type != BlockTypeDb)
        return payload;
    for (int number : memory.blockNumbers()) {
        append16(&payload, quint16(number));
        payload.append(char(ListedFlags)).append(char(LanguageDb));
    }
    return payload;
}

QByteArray SimBlocks::info(char type, int number, const SimMemory &memory, const SimCpuProfile &cpu)
{
    const int size = memory.size(SimMemory::AreaDataBlocks, number);
    if (type != BlockTypeDb || size < 0)
        return QByteArray();
    const int allocation = qMax(1, (size + AllocationUnit - 1) / AllocationUnit) * AllocationUnit;
    const int code = cpu.allocationAsMc7Size ? allocation : size;
    const int load = cpu.allocationAsMc7Size ? allocation : size + DbInterfaceBytes + LoadOverhead;
    QByteArray payload(reinterpret_cast<const char *>(InfoStart), sizeof(InfoStart));
    payload.append(char(InfoUnknown)).append(char(InfoDbFlags)).append(char(LanguageDb)).append(char(SubBlockDb));
    append16(&payload, quint16(number));
    append32(&payload, quint32(load));
    append32(&payload, 0); // no know-how protection
    payload.append(QByteArray(2 * TimeStampSize, '\0'));
    append16(&payload, quint16(DbInterfaceBytes));
    append16(&payload, 0); // no additional length
    append16(&payload, 0); // no local data
    append16(&payload, quint16(code));
    payload.append(QByteArray(TextFieldsSize, '\0'));
    payload.append(char(HeaderVersion)).append('\0');
    payload.append(QByteArray(InfoTrailerSize, '\0'));
    return payload;
}

bool SimBlocks::parseName(const QByteArray &name, char *type, int *number)
{
    if (name.size() != BlockNameSize || name.at(0) != BlockPrefix || name.at(BlockNameSize - 1) != BlockFileSystem)
        return false;
    bool ok = false;
    const QByteArray digits = name.mid(2, BlockNumberDigits);
    *number = digits.toInt(&ok);
    *type = name.at(1);
    return ok && std::all_of(digits.cbegin(), digits.cend(), [](char c) { return c >= '0' && c <= '9'; });
}
