#include "SimProtocol.h"

#include "SimBigEndian.h"
#include "SimCpuProfile.h"
#include "SimFrameReader.h"
#include "SimMemory.h"
#include "SimStatusList.h"

#include <QtEndian>

#include <iterator>

namespace {

// COTP (ISO 8073) TPDU codes and fields.
constexpr quint8 CotpConnectRequest = 0xE0;
constexpr quint8 CotpConnectConfirm = 0xD0;
constexpr quint8 CotpDisconnectRequest = 0x80;
constexpr quint8 CotpData = 0xF0;
constexpr quint8 CotpEndOfTransmission = 0x80;
constexpr quint8 CotpDataHeaderLength = 0x02;
constexpr quint8 CotpParamTpduSize = 0xC0;
constexpr quint8 CotpParamCallingTsap = 0xC1;
constexpr quint8 CotpParamCalledTsap = 0xC2;
// The confirm carries the parameters a CPU answers, always in this order,
// whatever order the request used.
constexpr quint8 CotpConfirmParams[] = {CotpParamTpduSize, CotpParamCallingTsap, CotpParamCalledTsap};
constexpr int CotpFixedConnectHeader = 6;   // code, dst ref, src ref, class
constexpr int CotpDisconnectLength = 6;     // code, dst ref, src ref, reason
constexpr int CotpOffset = 4;

// S7 header and functions.
constexpr int S7Offset = 7;
constexpr quint8 S7ProtocolId = 0x32;
constexpr quint8 S7Job = 0x01;
constexpr quint8 S7AckData = 0x03;
constexpr quint8 S7UserData = 0x07;
constexpr int S7AckHeaderSize = 12;
constexpr int S7JobHeaderSize = 10;
constexpr quint8 FunctionSetup = 0xF0;
constexpr quint8 FunctionRead = 0x04;
constexpr quint8 FunctionWrite = 0x05;
constexpr int SetupParamSize = 8;

// Error classes of the ack-data header.
constexpr quint8 ErrorClassApplication = 0x81; // service not implemented on the module
constexpr quint8 ErrorCodeNotImplemented = 0x04;
constexpr quint8 ErrorClassService = 0x84;   // error while processing the job
constexpr quint8 ErrorCodeMalformed = 0x04;
constexpr quint8 ErrorClassResources = 0x85; // reply would exceed the PDU
constexpr quint8 ErrorCodePduOverflow = 0x00;

// User-data parameters: a fixed head, their length, then method, type and
// function group, subfunction and sequence number; answers and follow-up
// requests add data unit reference, last-unit flag and error code.
constexpr quint32 UserDataHead = 0x000112;
constexpr int UserDataHeadSize = 4; // the head and the length byte
constexpr quint8 UserDataShortLength = 4;
constexpr quint8 UserDataLongLength = 8;
constexpr quint8 MethodRequest = 0x11;
constexpr quint8 MethodResponse = 0x12; // also marks a request for the next data unit
constexpr quint8 TypeRequest = 0x4;
constexpr quint8 TypeResponse = 0x8;
constexpr int TypeShift = 4;
constexpr quint8 GroupMask = 0x0F;
constexpr quint8 GroupCpuFunctions = 0x4;
constexpr quint8 SubfunctionReadSzl = 0x01;
constexpr quint8 UnitLast = 0x00;
constexpr quint8 UnitMoreFollow = 0x01;
// Error codes of a user-data answer.
constexpr quint16 UserDataNotImplemented = 0x8104;
constexpr quint16 UserDataOverPdu = 0x8500;
constexpr quint16 UserDataNoList = 0xD401;  // the CPU keeps no list of that id
constexpr quint16 UserDataNoIndex = 0xD402; // it keeps the list, but not that index
constexpr quint16 UserDataBadRequest = 0xD405;    // request not as the function wants it
// Data part: return code, transport size, length, payload.
constexpr int UserDataItemHeaderSize = 4;
constexpr int SzlSelectorSize = 4; // list id and index
// Bytes of an answer around its list bytes: S7 header, parameters, item header.
constexpr int UserDataReplyOverhead = S7JobHeaderSize + UserDataHeadSize + UserDataLongLength + UserDataItemHeaderSize;

// Variable specification (S7ANY item).
constexpr quint8 ItemSpecification = 0x12;
constexpr quint8 ItemSpecLength = 0x0A;
constexpr quint8 SyntaxS7Any = 0x10;
constexpr int ItemSize = 12;
constexpr int ItemHeaderSize = 4;
constexpr int ParamHeaderSize = 2; // function, item count

// Item return codes.
constexpr quint8 ReturnOk = 0xFF;
constexpr quint8 ReturnAccessDenied = 0x03; // timers and counters are not written over the network
constexpr quint8 ReturnOutOfRange = 0x05;
constexpr quint8 ReturnTypeNotSupported = 0x06;
constexpr quint8 ReturnInconsistent = 0x07;
constexpr quint8 ReturnNoObject = 0x0A;

// Transport sizes of a variable address.
constexpr quint8 TsBit = 0x01;
constexpr quint8 TsByte = 0x02;
constexpr quint8 TsChar = 0x03;
constexpr quint8 TsWord = 0x04;
constexpr quint8 TsInt = 0x05;
constexpr quint8 TsDword = 0x06;
constexpr quint8 TsDint = 0x07;
constexpr quint8 TsReal = 0x08;
constexpr quint8 TsCounter = 0x1C;
constexpr quint8 TsTimer = 0x1D;

// Transport sizes of a data item.
constexpr quint8 DataNull = 0x00;
constexpr quint8 DataBit = 0x03;
constexpr quint8 DataByte = 0x04;   // length in bits
constexpr quint8 DataInt = 0x05;    // length in bits
constexpr quint8 DataReal = 0x07;   // length in bytes
constexpr quint8 DataOctets = 0x09; // length in bytes

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


// COTP data header and the S7 header up to the data length; an ack-data
// header continues with error class and code.
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
        return connectionRequest(frame);
    if (reader.ok() && code == CotpData && connectionConfirmed)
        return dataUnit(frame, memory, cpu);
    // A disconnect, an unknown TPDU or data before the transport is open ends
    // the connection, as a CPU's ISO layer does.
    Outcome outcome;
    outcome.close = true;
    return outcome;
}

SimProtocol::Outcome SimProtocol::connectionRequest(const QByteArray &frame)
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
    connectionConfirmed = true;
    communicationSetUp = false;
    negotiatedPdu = 0;
    return outcome;
}

bool SimProtocol::isConnectionRequest(const QByteArray &frame)
{
    SimFrameReader reader(frame, CotpOffset + 1);
    const quint8 code = reader.u8();
    return reader.ok() && code == CotpConnectRequest;
}

QByteArray SimProtocol::refusal(const QByteArray &frame)
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
        outcome.reply = errorReply(job.reference, ErrorClassService, ErrorCodeMalformed);
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
        outcome.reply = errorReply(job.reference, ErrorClassResources, ErrorCodePduOverflow);
        return outcome;
    }
    if (messageType == S7UserData) {
        outcome.reply = userData(job, cpu, pdu);
    } else if (function == FunctionRead) {
        outcome.reply = readVariables(job, memory);
        // A reply larger than the PDU is refused as a whole, not truncated.
        if (outcome.reply.size() - S7Offset > pdu)
            outcome.reply = errorReply(job.reference, ErrorClassResources, ErrorCodePduOverflow);
    } else if (function == FunctionWrite) {
        outcome.reply = writeVariables(job, memory);
    } else {
        outcome.reply = errorReply(job.reference, ErrorClassApplication, ErrorCodeNotImplemented);
    }
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
        return errorReply(job.reference, ErrorClassService, ErrorCodeMalformed);

    negotiatedPdu = qMin(requested, cpu.pduLimit);
    communicationSetUp = true;
    QByteArray params;
    params.append(char(FunctionSetup)).append('\0');
    append16(&params, quint16(qMin(callingJobs, cpu.profile.amqCalling)));
    append16(&params, quint16(qMin(calledJobs, cpu.profile.amqCalled)));
    append16(&params, quint16(negotiatedPdu));
    return ackData(job.reference, 0, 0, params, QByteArray());
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
        if (knownArea(item.area))
            access = memory.readBit(item.area, item.dbNumber, byteAddress, int(item.address & 7), &value);
        if (access == SimMemory::Access::Ok)
            result.data = QByteArray(1, value ? '\1' : '\0');
    } else {
        const int size = elementSize(item.transportSize);
        if (size == 0) {
            result.returnCode = ReturnTypeNotSupported;
            return result;
        }
        if (knownArea(item.area))
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
        return errorReply(job.reference, ErrorClassService, ErrorCodeMalformed);

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
    return ackData(job.reference, 0, 0, params, data);
}

quint8 SimProtocol::writeItem(const ItemAddress &item, quint8 dataTransport, quint16 dataLength,
                              const QByteArray &data, SimMemory &memory)
{
    if (timerOrCounter(item.area))
        return ReturnAccessDenied;
    if (!knownArea(item.area))
        return ReturnNoObject;
    const int byteAddress = int(item.address >> 3);
    if (item.transportSize == TsBit) {
        if (item.count != 1 || dataTransport != DataBit || dataLength != 1)
            return ReturnInconsistent;
        return returnCodeFor(memory.writeBit(item.area, item.dbNumber, byteAddress,
                                             int(item.address & 7), data.at(0) & 1));
    }
    const int size = elementSize(item.transportSize);
    if (size == 0)
        return ReturnTypeNotSupported;
    if (data.size() != item.count * size || dataTransport == DataBit)
        return ReturnInconsistent;
    return returnCodeFor(memory.write(item.area, item.dbNumber, byteAddress, data));
}

QByteArray SimProtocol::writeVariables(const Job &job, SimMemory &memory) const
{
    QList<ItemAddress> items;
    if (!parseItems(job.params, &items))
        return errorReply(job.reference, ErrorClassService, ErrorCodeMalformed);

    // Take all data items first: a job whose data part does not match its
    // items is rejected as a whole before anything is written.
    struct DataItem { quint8 transport; quint16 length; QByteArray bytes; };
    QList<DataItem> dataItems;
    SimFrameReader reader(job.data);
    for (int i = 0; i < items.size(); ++i) {
        reader.skip(1); // reserved
        DataItem item;
        item.transport = reader.u8();
        item.length = reader.u16();
        const int bytes = lengthInBits(item.transport) ? (item.length + 7) / 8 : item.length;
        item.bytes = reader.take(bytes);
        if ((bytes & 1) && i + 1 < items.size())
            reader.skip(1); // fill byte
        dataItems.append(item);
    }
    if (!reader.ok() || reader.remaining() != 0)
        return errorReply(job.reference, ErrorClassService, ErrorCodeMalformed);

    QByteArray codes;
    for (int i = 0; i < items.size(); ++i) {
        const DataItem &item = dataItems.at(i);
        codes.append(char(writeItem(items.at(i), item.transport, item.length, item.bytes, memory)));
    }
    QByteArray params;
    params.append(char(FunctionWrite)).append(char(items.size()));
    return ackData(job.reference, 0, 0, params, codes);
}

QByteArray SimProtocol::userData(const Job &job, const Cpu &cpu, int pdu)
{
    SimFrameReader reader(job.params);
    const quint32 head = reader.u24();
    const quint8 length = reader.u8();
    const quint8 method = reader.u8();
    const quint8 typeAndGroup = reader.u8();
    UserDataAnswer answer;
    answer.group = typeAndGroup & GroupMask;
    answer.subfunction = reader.u8();
    const quint8 sequence = reader.u8();
    reader.skip(length - UserDataShortLength); // a follow-up's unit reference, last-unit flag, error code
    const bool followUp = length == UserDataLongLength && method == MethodResponse;
    const bool firstRequest = length == UserDataShortLength && method == MethodRequest;
    // Only reading the system state list is served; any other function is
    // answered as one the module does not implement.
    if (!reader.ok() || reader.remaining() != 0 || head != UserDataHead || !(followUp || firstRequest)
        || typeAndGroup >> TypeShift != TypeRequest || answer.group != GroupCpuFunctions
        || answer.subfunction != SubfunctionReadSzl)
        return userDataRefusal(job.reference, answer, UserDataNotImplemented);
    if (followUp) {
        // The client asks for the next unit with the sequence number the
        // first unit carried.
        if (statusListRest.isEmpty() || sequence != userDataSequence)
            return userDataRefusal(job.reference, answer, UserDataBadRequest);
        answer.unitReference = statusListUnit;
        return nextStatusListUnit(job.reference, answer, pdu);
    }
    return readStatusList(job, answer, cpu, pdu);
}

QByteArray SimProtocol::readStatusList(const Job &job, UserDataAnswer answer, const Cpu &cpu, int pdu)
{
    SimFrameReader reader(job.data);
    const quint8 returnCode = reader.u8();
    const quint8 transportSize = reader.u8();
    const int length = reader.u16();
    const quint16 id = reader.u16();
    const quint16 index = reader.u16();
    if (!reader.ok() || reader.remaining() != 0 || returnCode != ReturnOk || transportSize != DataOctets
        || length != SzlSelectorSize)
        return userDataRefusal(job.reference, answer, UserDataBadRequest);
    QByteArray list;
    switch (cpu.lists.read(id, index, cpu.running, cpu.now, &list)) {
    case SimStatusList::Result::NoSuchList: return userDataRefusal(job.reference, answer, UserDataNoList);
    case SimStatusList::Result::NoSuchIndex: return userDataRefusal(job.reference, answer, UserDataNoIndex);
    case SimStatusList::Result::Ok: break;
    }
    if (pdu <= UserDataReplyOverhead)
        return userDataRefusal(job.reference, answer, UserDataOverPdu);

    // What does not fit this PDU waits for the client's follow-up requests;
    // a list in several units carries a unit reference of its own, a list in
    // one unit none.
    statusListRest = list;
    statusListUnit = 0;
    if (list.size() > pdu - UserDataReplyOverhead) {
        if (++lastUnitReference == 0)
            lastUnitReference = 1;
        statusListUnit = lastUnitReference;
    }
    answer.unitReference = statusListUnit;
    return nextStatusListUnit(job.reference, answer, pdu);
}

QByteArray SimProtocol::nextStatusListUnit(quint16 reference, UserDataAnswer answer, int pdu)
{
    answer.payload = statusListRest.left(pdu - UserDataReplyOverhead);
    statusListRest.remove(0, answer.payload.size());
    answer.lastUnit = statusListRest.isEmpty();
    answer.returnCode = ReturnOk;
    answer.transportSize = DataOctets;
    return userDataReply(reference, answer);
}

QByteArray SimProtocol::userDataRefusal(quint16 reference, UserDataAnswer answer, quint16 error) const
{
    answer.error = error;
    answer.returnCode = ReturnNoObject;
    answer.transportSize = DataNull;
    return userDataReply(reference, answer);
}

QByteArray SimProtocol::userDataReply(quint16 reference, const UserDataAnswer &answer) const
{
    QByteArray params;
    params.append(char(UserDataHead >> 16)).append(char(UserDataHead >> 8)).append(char(UserDataHead));
    params.append(char(UserDataLongLength)).append(char(MethodResponse));
    params.append(char(TypeResponse << TypeShift | answer.group)).append(char(answer.subfunction));
    params.append(char(userDataSequence)).append(char(answer.unitReference));
    params.append(char(answer.lastUnit ? UnitLast : UnitMoreFollow));
    append16(&params, answer.error);

    QByteArray data;
    data.append(char(answer.returnCode)).append(char(answer.transportSize));
    append16(&data, quint16(answer.payload.size()));
    data.append(answer.payload);
    return tpkt(s7Header(S7UserData, reference, params.size(), data.size()) + params + data);
}

QByteArray SimProtocol::ackData(quint16 reference, quint8 errorClass, quint8 errorCode,
                                const QByteArray &params, const QByteArray &data)
{
    QByteArray pdu = s7Header(S7AckData, reference, params.size(), data.size());
    pdu.append(char(errorClass)).append(char(errorCode));
    Q_ASSERT(pdu.size() == 3 + S7AckHeaderSize);
    return tpkt(pdu + params + data);
}

QByteArray SimProtocol::errorReply(quint16 reference, quint8 errorClass, quint8 errorCode)
{
    return ackData(reference, errorClass, errorCode, QByteArray(), QByteArray());
}
