#include "S7Reasons.h"

#include "ByteReader.h"
#include "CmdQuillmarsh.h"
#include "S7Types.h"

namespace {

// The meanings of the codes follow Wireshark's S7 communication dissector
// (epan/dissectors/packet-s7comm.c: param_errcls_names, param_errcode_names,
// s7comm_item_return_valuenames) and snap7's texts (s7_text.cpp); the CPU
// families that answer them so are named where users meet them.
struct Text
{
    quint16 code;
    const char *text;
};

const Text ErrorTexts[] = {
    {0x8104, "service refused: PUT/GET access is off (S7-1200/1500) or the CPU does not offer it"},
    {0x8500, "job does not fit the PDU size"},
    {0x8404, "the CPU cannot perform the job now"},
    {0x8701, "address error at the PLC (area length)"},
    {0x8702, "service not supported by the module"},
    {0x8703, "access to the object refused"},
    {0xD401, "no such system state list"},
    {0xD402, "no such index of the system state list"},
    {0xD405, "function not supported or its parameters are wrong"},
    {0xD406, "information not available at present"},
    {0xD0A1, "not permitted at the CPU's protection level"},
    {0xD241, "not permitted at the CPU's protection level"},
    {0xD602, "wrong password"},
    {0xD605, "the CPU is not protected by a password"},
    {0xDC01, "date or time invalid"},
};

const Text ClassTexts[] = {
    {0x81, "application relationship error"},
    {0x82, "object definition error"},
    {0x83, "no resources available at the PLC"},
    {0x84, "error while processing the service"},
    {0x85, "PDU size error"},
    {0x87, "access error"},
    {0xD0, "CPU function refused"},
    {0xD4, "information function refused"},
    {0xD6, "protection function refused"},
};

const Text ReturnCodeTexts[] = {
    {0x01, "hardware fault"},
    {0x03, "access to the object not allowed"},
    {0x05, "address out of range"},
    {0x06, "data type not supported"},
    {0x07, "data type inconsistent (size mismatch)"},
    {0x0A, "object does not exist (data block absent, or optimized block access)"},
};

const char *lookUp(const Text *begin, const Text *end, quint16 code)
{
    for (const Text *t = begin; t != end; ++t) {
        if (t->code == code)
            return t->text;
    }
    return nullptr;
}

QString hex2(int value)
{
    return QStringLiteral("0x") + QString::number(value, 16).rightJustified(2, QLatin1Char('0')).toUpper();
}

} // namespace

namespace S7Reasons {

Why ofError(quint16 error)
{
    Why why;
    why.errorClass = quint8(error >> 8);
    why.errorCode = quint8(error);
    const char *text = lookUp(std::begin(ErrorTexts), std::end(ErrorTexts), error);
    if (!text)
        text = lookUp(std::begin(ClassTexts), std::end(ClassTexts), why.errorClass);
    why.text = QStringLiteral("%1 (error class %2 code %3)")
                   .arg(QLatin1String(text ? text : "job refused"), hex2(why.errorClass), hex2(why.errorCode));
    return why;
}

Why ofReturnCode(quint8 returnCode)
{
    Why why;
    why.returnCode = returnCode;
    const char *text = lookUp(std::begin(ReturnCodeTexts), std::end(ReturnCodeTexts), returnCode);
    why.text = QStringLiteral("%1 (return code %2)")
                   .arg(QLatin1String(text ? text : "item refused"), hex2(returnCode));
    return why;
}

Why ofMismatch(const char *problem)
{
    Why why;
    why.text = QStringLiteral("reply does not match its job: %1").arg(QLatin1String(problem));
    return why;
}

Why ofStatus(int status)
{
    Why why;
    switch (status) {
    case StatusOk: break;
    case StatusTypeNotServed: why.text = QStringLiteral("data type not served; nothing sent"); break;
    case StatusBadCount: why.text = QStringLiteral("element count not acceptable; nothing sent"); break;
    case StatusBadAddress: why.text = QStringLiteral("address not valid or past byte 65535; nothing sent"); break;
    case StatusInputArea: why.text = QStringLiteral("inputs are the PLC's to set; the write was sent"); break;
    case StatusNoReply:
        why.text = QStringLiteral("no reply within %1 ms").arg(CmdQuillmarsh::ReplyTimeoutMs);
        break;
    case StatusNotConnected: why.text = QStringLiteral("not connected; nothing sent"); break;
    default: why.text = QStringLiteral("reply not acceptable"); break;
    }
    return why;
}

Why ofSingleJob(int result, const QByteArray &reply)
{
    if (result == JobNoReply)
        return ofStatus(StatusNoReply);
    if (result == JobNotConnected)
        return ofStatus(StatusNotConnected);
    ByteReader in(reply);
    in.seek(S7::RosctrOffset);
    const quint8 rosctr = in.u8();
    in.seek(S7::AckParameterOffset - 2);
    const quint16 error = in.u16();
    const bool ack = in.ok() && (rosctr == S7::RosctrAck || rosctr == S7::RosctrAckData);
    if (ack && error != 0)
        return ofError(error);
    // The return codes follow function and item count: one for a write
    // item, the first field of a read item.
    const quint8 function = in.u8();
    const int items = in.u8();
    for (int i = 0; ack && in.ok() && i < items; ++i) {
        const quint8 code = in.u8();
        if (in.ok() && code != S7::ReturnCodeSuccess)
            return ofReturnCode(code);
        if (function != S7::FunctionWriteVariable)
            break;
    }
    if (result == JobOk)
        return Why();
    return ofMismatch(reply.isEmpty() ? "no bytes" : "its length or return code is not the one expected");
}

} // namespace S7Reasons
