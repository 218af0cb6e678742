#include "SimProtocol.h"

#include "SimBigEndian.h"
#include "SimBlocks.h"
#include "SimCpuProfile.h"
#include "SimCpuState.h"
#include "SimDateAndTime.h"
#include "SimFrameReader.h"
#include "SimMemory.h"
#include "SimStatusList.h"
#include "SimWire.h"

#include <iterator>

namespace {

using namespace SimWire;

// The confirm carries the parameters a CPU answers, always in this order,
// whatever order the request used.
constexpr quint8 CotpConfirmParams[] = {CotpParamTpduSize, CotpParamCallingTsap, CotpParamCalledTsap};

// PI services: after the function come unknown bytes, then (not for the
// stop) the length of the argument and the argument, then the length of
// the service's name and the name.
constexpr int PiUnknownBytes = 7;
constexpr int StopUnknownBytes = 5;
const QByteArray ProgramService = QByteArrayLiteral("P_PROGRAM");
const QByteArray ColdRestartArgument = QByteArrayLiteral("C ");
// Copying RAM to ROM and compressing memory: nothing to do in a memory
// without load memory, and answered as done, as CPUs do (captures of ours).
const QByteArray CopyRamToRom = QByteArrayLiteral("_MODU");
const QByteArray CompressMemory = QByteArrayLiteral("_GARB");

// Bytes per element of a byte-addressed transport size, 0 when unsupported.
int elementSize(quint8 transportSize)
{
    switch (transportSize) {
    case TsByte: case TsChar: return 1;
    case TsWord: case TsInt: return 2;
    case TsDword: case TsDint: case TsReal: return 4;
    default: return 0;
    }
}

// Data-item transport size a CPU answers for an address transport size.
quint8 dataTransportFor(quint8 transportSize)
{
    switch (transportSize) {
    case TsBit: return DataBit;
    case TsInt: case TsDint: return DataInt;
    case TsReal: return DataReal;
    case TsChar: return DataOctets;
    default: return DataByte;
    }
}

bool lengthInBits(quint8 dataTransport)
{
    return dataTransport == DataBit || dataTransport == DataByte || dataTransport == DataInt;
}

bool timerOrCounter(int area)
{
    return area == SimMemory::AreaCounters || area == SimMemory::AreaTimers;
}

quint8 returnCodeFor(SimMemory::Access access)
{
    switch (access) {
    case SimMemory::Access::Ok: return ReturnOk;
    case SimMemory::Access::NoObject: return ReturnNoObject;
    case SimMemory::Access::OutOfRange: return ReturnOutOfRange;
    }
    return ReturnNoObject;
}

bool knownArea(int area)
{
    return (area >= SimMemory::AreaInputs && area <= SimMemory::AreaDataBlocks) || timerOrCounter(area);
}

// An optimized block has no absolute addresses: to them it does not exist.
bool optimizedBlock(const SimMemory &memory, int area, int dbNumber)
{
    return area == SimMemory::AreaDataBlocks && memory.blockAccess(dbNumber) == SimMemory::BlockAccess::Optimized;
}

// COTP data header and the S7 header up to the data length; an ack header
// continues with error class and code.
QByteArray s7Header(quint8 messageType, quint16 reference, int paramLength, int dataLength)
{
    QByteArray pdu;
    pdu.append(char(CotpDataHeaderLength)).append(char(CotpData)).append(char(CotpEndOfTransmission));
    pdu.append(char(S7ProtocolId)).append(char(messageType));
    append16(&pdu, 0); // reserved
    append16(&pdu, reference);
    append16(&pdu, quint16(paramLength));
    append16(&pdu, quint16(dataLength));
    return pdu;
}

QByteArray tpkt(const QByteArray &payload)
{
    QByteArray frame;
    frame.append(char(SimProtocol::TpktVersion)).append('\0');
    append16(&frame, quint16(SimProtocol::TpktHeaderSize + payload.size()));
    return frame + payload;
}

quint16 tsapValue(const QByteArray &tsap)
{
    return tsap.size() == TsapSize ? quint16(quint8(tsap.at(0)) << 8 | quint8(tsap.at(1))) : 0;
}

} // namespace

SimProtocol::SimProtocol(quint16 localReference, quint8 sequence)
    : ownReference(localReference), userDataSequence(sequence)
{
}

SimProtocol::Outcome SimProtocol::answer(const QByteArray &frame, SimMemory &memory, const Cpu &cpu)
{
    SimFrameReader reader(frame, CotpOffset + 1);
    const quint8 code = reader.u8();
    if (reader.ok() && code == CotpConnectRequest)
        return connectionRequest(frame, cpu);
    if (reader.ok() && code == CotpData && connectionConfirmed)
        return dataUnit(frame, memory, cpu);
    // A disconnect, an unknown TPDU or data before the transport is open ends
    // the connection, as a CPU's ISO layer does.
    Outcome outcome;
    outcome.close = true;
    return outcome;
}

// A request for TSAPs the CPU does not serve is dropped with a TCP reset
// and no confirm: what clients report of S7 CPUs called at another rack or
// slot (see SimCpuProfile).
SimProtocol::Outcome SimProtocol::connectionRequest(const QByteArray &frame, const Cpu &cpu)
{
    Outcome outcome;
    SimFrameReader reader(frame, CotpOffset);
    const int lengthIndicator = reader.u8();
    reader.skip(1); // TPDU code
    reader.skip(2); // destination reference, 0 in a request
    const quint16 callerReference = reader.u16();
    reader.skip(1); // class and options
    if (!reader.ok() || lengthIndicator < CotpFixedConnectHeader
        || CotpOffset + 1 + lengthIndicator != frame.size()) {
        outcome.close = true;
        return outcome;
    }

    // The TPDU size is echoed as asked, both TSAPs too; other parameters are
    // not answered.
    QByteArray asked[std::size(CotpConfirmParams)];
    askedCalling.clear();
    askedCalled.clear();
    while (reader.remaining() > 0) {
        const quint8 param = reader.u8();
        const int length = reader.u8();
        const QByteArray value = reader.take(length);
        if (!reader.ok()) {
            outcome.close = true;
            return outcome;
        }
        for (size_t i = 0; i < std::size(CotpConfirmParams); ++i) {
            if (param == CotpConfirmParams[i])
                asked[i] = QByteArray(1, char(param)) + char(length) + value;
        }
        if (param == CotpParamCallingTsap)
            askedCalling = value;
        else if (param == CotpParamCalledTsap)
            askedCalled = value;
    }
    if (!cpu.state.serves(tsapValue(askedCalling), tsapValue(askedCalled))) {
        outcome.reset = true;
        outcome.connectionRefused = QStringLiteral("calling TSAP %1, called TSAP %2; the CPU serves %3")
                                        .arg(callingTsap(), calledTsap(), cpu.state.servedTsaps());
        return outcome;
    }

    QByteArray params;
    for (const QByteArray &param : asked)
        params.append(param);
    QByteArray cotp;
    cotp.append(char(CotpFixedConnectHeader + params.size())).append(char(CotpConnectConfirm));
    append16(&cotp, callerReference);
    append16(&cotp, ownReference);
    cotp.append('\0'); // class 0
    cotp.append(params);
    outcome.reply = tpkt(cotp);
    outcome.opened = true;
    connectionConfirmed = true;
    communicationSetUp = false;
    legitimated = false;
    negotiatedPdu = 0;
    return outcome;
}

bool SimProtocol::isConnectionRequest(const QByteArray &frame)
{
    SimFrameReader reader(frame, CotpOffset + 1);
    const quint8 code = reader.u8();
    return reader.ok() && code == CotpConnectRequest;
}

QByteArray SimProtocol::disconnectRequestFor(const QByteArray &frame)
{
    SimFrameReader reader(frame, CotpOffset + 4);
    const quint16 callerReference = reader.u16(); // 0 when the request is cut short
    QByteArray cotp;
    cotp.append(char(CotpDisconnectLength)).append(char(CotpDisconnectRequest));
    append16(&cotp, callerReference);
    append16(&cotp, 0); // no connection of ours was made
    cotp.append('\0');  // reason: not specified
    return tpkt(cotp);
}

int SimProtocol::connectionType() const
{
    return askedCalled.size() == TsapSize ? quint8(askedCalled.at(0)) : 0;
}

QString SimProtocol::tsapText(const QByteArray &tsap)
{
    return QString::fromLatin1(tsap.toHex('.'));
}

SimProtocol::Outcome SimProtocol::dataUnit(const QByteArray &frame, SimMemory &memory, const Cpu &cpu)
{
    Outcome outcome;
    SimFrameReader reader(frame, CotpOffset);
    const quint8 lengthIndicator = reader.u8();
    reader.skip(1);
    const quint8 sequence = reader.u8();
    const quint8 protocolId = reader.u8();
    // Only whole, unsegmented S7 PDUs are served.
    if (!reader.ok() || lengthIndicator != CotpDataHeaderLength
        || !(sequence & CotpEndOfTransmission) || protocolId != S7ProtocolId) {
        outcome.close = true;
        return outcome;
    }

    Job job;
    const quint8 messageType = reader.u8();
    reader.skip(2); // reserved
    job.reference = reader.u16();
    const int paramLength = reader.u16();
    const int dataLength = reader.u16();
    job.params = reader.take(paramLength);
    job.data = reader.take(dataLength);
    if (!reader.ok() || reader.remaining() != 0 || (messageType != S7Job && messageType != S7UserData)
        || job.params.isEmpty()) {
        outcome.reply = errorReply(job.reference, ErrorMalformed);
        return outcome;
    }

    const quint8 function = quint8(job.params.at(0));
    if (messageType == S7Job && function == FunctionSetup) {
        outcome.reply = setupCommunication(job, cpu);
        return outcome;
    }
    // Jobs are served only once communication is set up (the PDU size is
    // agreed there); a client that skips the setup loses the connection.
    if (!communicationSetUp) {
        outcome.close = true;
        return outcome;
    }
    const int pdu = negotiatedPdu;
    if (S7JobHeaderSize + paramLength + dataLength > pdu) {
        outcome.reply = errorReply(job.reference, ErrorOverPdu);
        return outcome;
    }
    if (messageType == S7UserData)
        outcome.reply = userData(job, memory, cpu, pdu);
    else if (function == FunctionRead || function == FunctionWrite)
        outcome.reply = variableJob(job, memory, cpu, pdu);
    else if (function == FunctionPiService || function == FunctionStop)
        outcome.reply = piService(job, cpu);
    else
        outcome.reply = errorReply(job.reference, ErrorNotImplemented);
    return outcome;
}

// Each of the parallel-job counts and the PDU size is the lesser of what was
// asked and what the CPU allows.
QByteArray SimProtocol::setupCommunication(const Job &job, const Cpu &cpu)
{
    SimFrameReader reader(job.params, ParamHeaderSize);
    const int callingJobs = reader.u16();
    const int calledJobs = reader.u16();
    const int requested = reader.u16();
    if (!reader.ok() || job.params.size() != SetupParamSize || !job.data.isEmpty())
        return errorReply(job.reference, ErrorMalformed);

    negotiatedPdu = qMin(requested, cpu.pduLimit);
    communicationSetUp = true;
    QByteArray params;
    params.append(char(FunctionSetup)).append('\0');
    append16(&params, quint16(qMin(callingJobs, cpu.profile.amqCalling)));
    append16(&params, quint16(qMin(calledJobs, cpu.profile.amqCalled)));
    append16(&params, quint16(negotiatedPdu));
    return ackData(job.reference, 0, params, QByteArray());
}

bool SimProtocol::permits(const Cpu &cpu, bool write) const
{
    return cpu.state.permits(write ? SimCpuState::Operation::Write : SimCpuState::Operation::Read, legitimated);
}

// With PUT/GET access off, a CPU acknowledges every read and write job with
// error 0x8104 and nothing else, in a header of type 2 (nodeS7#72,
// S7NetPlus#403). Under protection it refuses the job as a whole; snap7
// reads that error (0xD241) as "password needed".
QByteArray SimProtocol::variableJob(const Job &job, SimMemory &memory, const Cpu &cpu, int pdu) const
{
    const bool write = quint8(job.params.at(0)) == FunctionWrite;
    if (!cpu.state.putGet())
        return acknowledgement(S7Ack, job.reference, ErrorNotImplemented, QByteArray(), QByteArray());
    if (!permits(cpu, write))
        return errorReply(job.reference, ErrorNeedPassword);
    if (write)
        return writeVariables(job, memory);
    // A reply larger than the PDU is refused as a whole, not truncated.
    const QByteArray reply = readVariables(job, memory);
    return reply.size() - S7Offset > pdu ? errorReply(job.reference, ErrorOverPdu) : reply;
}

bool SimProtocol::parseItems(const QByteArray &params, QList<ItemAddress> *items)
{
    SimFrameReader reader(params, 1);
    const int count = reader.u8();
    if (!reader.ok() || count == 0 || params.size() != ParamHeaderSize + count * ItemSize)
        return false;
    for (int i = 0; i < count; ++i) {
        const quint8 specification = reader.u8();
        const quint8 length = reader.u8();
        const quint8 syntax = reader.u8();
        ItemAddress item;
        item.transportSize = reader.u8();
        item.count = reader.u16();
        item.dbNumber = reader.u16();
        item.area = reader.u8();
        item.address = reader.u24();
        // Only the S7ANY syntax is served; anything else is flagged per item.
        if (specification != ItemSpecification || length != ItemSpecLength || syntax != SyntaxS7Any)
            item.transportSize = 0;
        items->append(item);
    }
    return reader.ok();
}

SimProtocol::ItemResult SimProtocol::readItem(const ItemAddress &item, const SimMemory &memory)
{
    ItemResult result;
    const int byteAddress = int(item.address >> 3);
    SimMemory::Access access = SimMemory::Access::NoObject;
    if (timerOrCounter(item.area)) {
        if (item.transportSize != TsCounter && item.transportSize != TsTimer) {
            result.returnCode = ReturnTypeNotSupported;
            return result;
        }
        // Timers and counters are addressed by number, two bytes each.
        access = memory.read(item.area, 0, int(item.address) * SimMemory::TimerCounterBytes, item.count * SimMemory::TimerCounterBytes,
                             &result.data);
    } else if (item.transportSize == TsBit) {
        if (item.count != 1) {
            result.returnCode = ReturnTypeNotSupported;
            return result;
        }
        bool value = false;
        if (knownArea(item.area) && !optimizedBlock(memory, item.area, item.dbNumber))
            access = memory.readBit(item.area, item.dbNumber, byteAddress, int(item.address & 7), &value);
        if (access == SimMemory::Access::Ok)
            result.data = QByteArray(1, value ? '\1' : '\0');
    } else {
        const int size = elementSize(item.transportSize);
        if (size == 0) {
            result.returnCode = ReturnTypeNotSupported;
            return result;
        }
        if (knownArea(item.area) && !optimizedBlock(memory, item.area, item.dbNumber))
            access = memory.read(item.area, item.dbNumber, byteAddress, item.count * size, &result.data);
    }
    result.returnCode = returnCodeFor(access);
    if (result.returnCode != ReturnOk)
        return result;
    result.transportSize = timerOrCounter(item.area) ? DataOctets : dataTransportFor(item.transportSize);
    const int bits = item.transportSize == TsBit ? 1 : result.data.size() * 8;
    result.length = quint16(lengthInBits(result.transportSize) ? bits : result.data.size());
    return result;
}

QByteArray SimProtocol::readVariables(const Job &job, const SimMemory &memory) const
{
    QList<ItemAddress> items;
    if (!job.data.isEmpty() || !parseItems(job.params, &items))
        return errorReply(job.reference, ErrorMalformed);

    QByteArray data;
    for (int i = 0; i < items.size(); ++i) {
        const ItemResult result = readItem(items.at(i), memory);
        data.append(char(result.returnCode)).append(char(result.transportSize));
        append16(&data, result.length);
        data.append(result.data);
        // Items after the first start on an even offset.
        if ((result.data.size() & 1) && i + 1 < items.size())
            data.append('\0');
    }
    QByteArray params;
    params.append(char(FunctionRead)).append(char(items.size()));
    return ackData(job.reference, 0, params, data);
}

// Read-only blocks refuse writes item by item (our choice of code: access
// to the object not permitted).
quint8 SimProtocol::writeItem(const ItemAddress &item, const DataItem &data, SimMemory &memory)
{
    if (timerOrCounter(item.area))
        return ReturnAccessDenied;
    if (!knownArea(item.area) || optimizedBlock(memory, item.area, item.dbNumber))
        return ReturnNoObject;
    if (item.area == SimMemory::AreaDataBlocks && memory.blockAccess(item.dbNumber) == SimMemory::BlockAccess::ReadOnly)
        return memory.size(item.area, item.dbNumber) < 0 ? ReturnNoObject : ReturnAccessDenied;
    const int byteAddress = int(item.address >> 3);
    if (item.transportSize == TsBit) {
        if (item.count != 1 || data.transportSize != DataBit || data.length != 1)
            return ReturnInconsistent;
        return returnCodeFor(memory.writeBit(item.area, item.dbNumber, byteAddress,
                                             int(item.address & 7), data.bytes.at(0) & 1));
    }
    const int size = elementSize(item.transportSize);
    if (size == 0)
        return ReturnTypeNotSupported;
    if (data.bytes.size() != item.count * size || data.transportSize == DataBit)
        return ReturnInconsistent;
    return returnCodeFor(memory.write(item.area, item.dbNumber, byteAddress, data.bytes));
}

// The data items of a write job, each but the last padded to an even
// length when fillBytes; false unless they fill the data part exactly.
bool SimProtocol::parseDataItems(const QByteArray &data, int count, bool fillBytes, QList<DataItem> *items)
{
    SimFrameReader reader(data);
    for (int i = 0; i < count; ++i) {
        DataItem item;
        item.returnCode = reader.u8(); // reserved in a request
        item.transportSize = reader.u8();
        item.length = reader.u16();
        const int bytes = lengthInBits(item.transportSize) ? (item.length + 7) / 8 : item.length;
        item.bytes = reader.take(bytes);
        if (fillBytes && (bytes & 1) && i + 1 < count)
            reader.skip(1);
        items->append(item);
    }
    return reader.ok() && reader.remaining() == 0;
}

QByteArray SimProtocol::writeVariables(const Job &job, SimMemory &memory) const
{
    QList<ItemAddress> items;
    if (!parseItems(job.params, &items))
        return errorReply(job.reference, ErrorMalformed);

    // Take all data items first: a job whose data part does not match its
    // items is rejected as a whole before anything is written. Odd-length
    // items without their fill byte get the error CPUs give them
    // (st-one-io/nodes7#16, on S7-300 and S7-400).
    QList<DataItem> dataItems;
    if (!parseDataItems(job.data, items.size(), true, &dataItems)) {
        QList<DataItem> unpadded;
        const bool fillMissing = parseDataItems(job.data, items.size(), false, &unpadded);
        return fillMissing ? acknowledgement(S7Ack, job.reference, ErrorNotImplemented, QByteArray(), QByteArray())
                           : errorReply(job.reference, ErrorMalformed);
    }

    QByteArray codes;
    for (int i = 0; i < items.size(); ++i)
        codes.append(char(writeItem(items.at(i), dataItems.at(i), memory)));
    QByteArray params;
    params.append(char(FunctionWrite)).append(char(items.size()));
    return ackData(job.reference, 0, params, codes);
}

// Stop, warm and cold restart set the CPU's state; a done service is
// answered with its function alone (captures of ours). Protection guards
// them as writes.
QByteArray SimProtocol::piService(const Job &job, const Cpu &cpu) const
{
    const quint8 function = quint8(job.params.at(0));
    SimFrameReader reader(job.params, 1);
    QByteArray argument;
    if (function == FunctionPiService) {
        reader.skip(PiUnknownBytes);
        argument = reader.take(reader.u16());
    } else {
        reader.skip(StopUnknownBytes);
    }
    const QByteArray name = reader.take(reader.u8());
    if (!reader.ok() || reader.remaining() != 0 || !job.data.isEmpty())
        return errorReply(job.reference, ErrorMalformed);

    const QByteArray done(1, char(function));
    const bool program = name == ProgramService;
    const bool stop = program && function == FunctionStop && argument.isEmpty();
    const bool warm = program && function == FunctionPiService && argument.isEmpty();
    const bool cold = program && function == FunctionPiService && argument == ColdRestartArgument;
    const bool noOp = function == FunctionPiService && (name == CopyRamToRom || name == CompressMemory);
    if (!stop && !warm && !cold && !noOp)
        return errorReply(job.reference, ErrorNotImplemented);
    if (!permits(cpu, true))
        return ackData(job.reference, ErrorNeedPassword, done, QByteArray());
    if (stop)
        cpu.state.setRunning(false, SimCpuState::EventStopByPg);
    else if (!noOp)
        cpu.state.setRunning(true, cold ? SimCpuState::EventColdRestartRequest : SimCpuState::EventWarmRestartRequest);
    return ackData(job.reference, 0, done, QByteArray());
}

QByteArray SimProtocol::userData(const Job &job, SimMemory &memory, const Cpu &cpu, int pdu)
{
    SimFrameReader reader(job.params);
    const quint32 head = reader.u24();
    const quint8 length = reader.u8();
    const quint8 method = reader.u8();
    const quint8 typeAndGroup = reader.u8();
    UserDataAnswer answer;
    answer.reference = job.reference;
    answer.group = typeAndGroup & GroupMask;
    answer.subfunction = reader.u8();
    answer.sequence = userDataSequence;
    const quint8 sequence = reader.u8();
    reader.skip(length - UserDataShortLength); // a follow-up's unit reference, last-unit flag, error code
    const bool followUp = length == UserDataLongLength && method == MethodResponse;
    const bool firstRequest = length == UserDataShortLength && method == MethodRequest;
    if (!reader.ok() || reader.remaining() != 0 || head != UserDataHead || !(followUp || firstRequest)
        || typeAndGroup >> TypeShift != TypeRequest)
        return emptyAnswer(answer, ErrorNotImplemented);
    if (followUp) {
        // The client asks for the next unit with the sequence number the
        // first unit carried.
        if (pendingUnits.isEmpty() || sequence != userDataSequence || answer.group != pendingGroup)
            return emptyAnswer(answer, ErrorBadRequest);
        answer.unitReference = pendingUnitReference;
        return nextUnit(answer, pdu);
    }
    // A data part that is no data item fails every function's check of it.
    DataItem item;
    item.valid = parseDataItem(job.data, &item);
    switch (answer.group) {
    case GroupCpuFunctions:
        if (answer.subfunction == SubfunctionReadSzl)
            return readStatusList(answer, item, cpu, pdu);
        break;
    case GroupBlocks: return blockFunction(answer, item, memory, cpu, pdu);
    case GroupSecurity: return security(answer, item, cpu);
    case GroupClock: return clock(answer, item, cpu);
    default: break;
    }
    return emptyAnswer(answer, ErrorNotImplemented);
}

bool SimProtocol::parseDataItem(const QByteArray &data, DataItem *item)
{
    SimFrameReader reader(data);
    item->returnCode = reader.u8();
    item->transportSize = reader.u8();
    item->length = reader.u16();
    item->bytes = reader.take(item->length);
    return reader.ok() && reader.remaining() == 0;
}

// A request's data item says "octets follow" (0xFF, 0x09) before a payload.
// The classic families refuse one that says otherwise (python-snap7#569 on
// a CPU 416-2); an S7-1200 serves it anyway (python-snap7#608).
bool SimProtocol::acceptsItem(const DataItem &item, int payloadSize, const Cpu &cpu)
{
    if (!item.valid || item.bytes.size() != payloadSize)
        return false;
    return payloadSize == 0 || cpu.profile.lenientDataItems
        || (item.returnCode == ReturnOk && item.transportSize == DataOctets);
}

QByteArray SimProtocol::readStatusList(UserDataAnswer answer, const DataItem &item, const Cpu &cpu, int pdu)
{
    if (!acceptsItem(item, SzlSelectorSize, cpu))
        return emptyAnswer(answer, ErrorBadRequest);
    SimFrameReader reader(item.bytes);
    const quint16 id = reader.u16();
    const quint16 index = reader.u16();
    QByteArray list;
    switch (cpu.lists.read(id, index, cpu.state, legitimated, &list)) {
    case SimStatusList::Result::NoSuchList: return emptyAnswer(answer, ErrorNoList);
    case SimStatusList::Result::NoSuchIndex: return emptyAnswer(answer, ErrorNoIndex);
    case SimStatusList::Result::Ok: break;
    }
    return firstUnit(answer, list, pdu);
}

// The block list and block info go out with sequence number 0, a list of
// one type with the connection's (captures of ours).
QByteArray SimProtocol::blockFunction(UserDataAnswer answer, const DataItem &item, const SimMemory &memory,
                                      const Cpu &cpu, int pdu)
{
    char type = 0;
    int number = 0;
    switch (answer.subfunction) {
    case SubfunctionListAll:
        answer.sequence = 0;
        if (!acceptsItem(item, 0, cpu))
            return emptyAnswer(answer, ErrorBadRequest);
        return firstUnit(answer, SimBlocks::listAll(memory), pdu);
    case SubfunctionListOfType: {
        if (!acceptsItem(item, 2, cpu) || item.bytes.at(0) != BlockPrefix)
            return emptyAnswer(answer, ErrorBadRequest);
        const QByteArray list = SimBlocks::listOfType(item.bytes.at(1), memory);
        return list.isEmpty() ? emptyAnswer(answer, ErrorNoBlocksOfType) : firstUnit(answer, list, pdu);
    }
    case SubfunctionBlockInfo: {
        answer.sequence = 0;
        if (!acceptsItem(item, item.bytes.size(), cpu) || !SimBlocks::parseName(item.bytes, &type, &number))
            return emptyAnswer(answer, ErrorBadRequest);
        const QByteArray info = SimBlocks::info(type, number, memory, cpu.profile);
        return info.isEmpty() ? emptyAnswer(answer, ErrorNoBlock) : firstUnit(answer, info, pdu);
    }
    default:
        return emptyAnswer(answer, ErrorNotImplemented);
    }
}

// The session password lifts the protection for this connection until it
// is cleared or the connection ends.
QByteArray SimProtocol::security(UserDataAnswer answer, const DataItem &item, const Cpu &cpu)
{
    if (answer.subfunction == SubfunctionSetPassword) {
        if (!acceptsItem(item, PasswordSize, cpu))
            return emptyAnswer(answer, ErrorBadRequest);
        if (cpu.state.protectionLevel() <= 1)
            return emptyAnswer(answer, ErrorNoPasswordToSet);
        legitimated = cpu.state.passwordMatches(item.bytes);
        cpu.state.record(legitimated ? SimCpuState::EventPasswordAccepted : SimCpuState::EventPasswordRefused);
        return emptyAnswer(answer, legitimated ? 0 : ErrorWrongPassword);
    }
    if (answer.subfunction == SubfunctionClearPassword) {
        if (!acceptsItem(item, 0, cpu))
            return emptyAnswer(answer, ErrorBadRequest);
        if (!legitimated)
            return emptyAnswer(answer, ErrorNoPasswordToClear);
        legitimated = false;
        cpu.state.record(SimCpuState::EventPasswordCleared);
        return emptyAnswer(answer, 0);
    }
    return emptyAnswer(answer, ErrorNotImplemented);
}

// Setting the clock is a write for the protection; a date that does not
// exist is an invalid value.
QByteArray SimProtocol::clock(UserDataAnswer answer, const DataItem &item, const Cpu &cpu) const
{
    if (answer.subfunction == SubfunctionReadClock) {
        if (!acceptsItem(item, 0, cpu))
            return emptyAnswer(answer, ErrorBadRequest);
        answer.returnCode = ReturnOk;
        answer.transportSize = DataOctets;
        answer.payload.append(char(ClockReserved)).append(char(ClockCentury));
        answer.payload.append(SimDateAndTime::encode(cpu.state.now()));
        return userDataReply(answer);
    }
    if (answer.subfunction == SubfunctionSetClock) {
        QDateTime time;
        if (!acceptsItem(item, ClockSize, cpu))
            return emptyAnswer(answer, ErrorBadRequest);
        if (!permits(cpu, true))
            return emptyAnswer(answer, ErrorNeedPassword);
        if (!SimDateAndTime::decode(item.bytes.mid(ClockSize - SimDateAndTime::Size), &time))
            return emptyAnswer(answer, ErrorInvalidValue);
        cpu.state.setClock(time);
        return emptyAnswer(answer, 0);
    }
    return emptyAnswer(answer, ErrorNotImplemented);
}

// What does not fit this PDU waits for the client's follow-up requests;
// an answer in several units carries a unit reference of its own, one in
// a single unit none.
QByteArray SimProtocol::firstUnit(UserDataAnswer answer, const QByteArray &payload, int pdu)
{
    if (pdu <= UserDataReplyOverhead)
        return emptyAnswer(answer, ErrorOverPdu);
    pendingUnits = payload;
    pendingGroup = answer.group;
    pendingUnitReference = 0;
    if (payload.size() > pdu - UserDataReplyOverhead) {
        if (++lastUnitReference == 0)
            lastUnitReference = 1;
        pendingUnitReference = lastUnitReference;
    }
    answer.unitReference = pendingUnitReference;
    return nextUnit(answer, pdu);
}

QByteArray SimProtocol::nextUnit(UserDataAnswer answer, int pdu)
{
    answer.payload = pendingUnits.left(pdu - UserDataReplyOverhead);
    pendingUnits.remove(0, answer.payload.size());
    answer.lastUnit = pendingUnits.isEmpty();
    answer.returnCode = ReturnOk;
    answer.transportSize = DataOctets;
    return userDataReply(answer);
}

// An answer without a payload, as CPUs give both a refusal and a done
// setting (the clock, captures of ours): return code 0x0A, no transport size.
QByteArray SimProtocol::emptyAnswer(UserDataAnswer answer, quint16 error) const
{
    answer.error = error;
    answer.returnCode = ReturnNoObject;
    answer.transportSize = DataNull;
    answer.payload.clear();
    return userDataReply(answer);
}

QByteArray SimProtocol::userDataReply(const UserDataAnswer &answer) const
{
    QByteArray params;
    params.append(char(UserDataHead >> 16)).append(char(UserDataHead >> 8)).append(char(UserDataHead));
    params.append(char(UserDataLongLength)).append(char(MethodResponse));
    params.append(char(TypeResponse << TypeShift | answer.group)).append(char(answer.subfunction));
    params.append(char(answer.sequence)).append(char(answer.unitReference));
    params.append(char(answer.lastUnit ? UnitLast : UnitMoreFollow));
    append16(&params, answer.error);

    QByteArray data;
    data.append(char(answer.returnCode)).append(char(answer.transportSize));
    append16(&data, quint16(answer.payload.size()));
    data.append(answer.payload);
    return tpkt(s7Header(S7UserData, answer.reference, params.size(), data.size()) + params + data);
}

QByteArray SimProtocol::acknowledgement(quint8 messageType, quint16 reference, quint16 error,
                                        const QByteArray &params, const QByteArray &data)
{
    QByteArray pdu = s7Header(messageType, reference, params.size(), data.size());
    append16(&pdu, error);
    Q_ASSERT(pdu.size() == 3 + S7AckHeaderSize);
    return tpkt(pdu + params + data);
}

QByteArray SimProtocol::ackData(quint16 reference, quint16 error, const QByteArray &params, const QByteArray &data)
{
    return acknowledgement(S7AckData, reference, error, params, data);
}

QByteArray SimProtocol::errorReply(quint16 reference, quint16 error)
{
    return ackData(reference, error, QByteArray(), QByteArray());
}
