#ifndef QUILLMARSH_SIMWIRE_H
#define QUILLMARSH_SIMWIRE_H

#include <QtGlobal>

// The codes and sizes of the ISO-on-TCP / S7 wire as the simulated CPU reads
// and writes them. The simulator keeps its own copy on purpose, apart from
// the driver's, so that a mistake cannot hide by being shared by both ends
// of a test.
namespace SimWire {

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
constexpr int CotpFixedConnectHeader = 6; // code, dst ref, src ref, class
constexpr int CotpDisconnectLength = 6;   // code, dst ref, src ref, reason
constexpr int CotpOffset = 4;
constexpr int TsapSize = 2;
// Called TSAP: connection type in the high byte, rack * 0x20 + slot in the low.
constexpr quint8 ConnectionTypePg = 0x01;
constexpr quint8 ConnectionTypeOp = 0x02;
constexpr quint8 ConnectionTypeS7Basic = 0x03;
constexpr int RackShift = 5;

// S7 header and functions.
constexpr int S7Offset = 7;
constexpr quint8 S7ProtocolId = 0x32;
constexpr quint8 S7Job = 0x01;
constexpr quint8 S7Ack = 0x02;
constexpr quint8 S7AckData = 0x03;
constexpr quint8 S7UserData = 0x07;
constexpr int S7AckHeaderSize = 12;
constexpr int S7JobHeaderSize = 10;
constexpr quint8 FunctionSetup = 0xF0;
constexpr quint8 FunctionRead = 0x04;
constexpr quint8 FunctionWrite = 0x05;
constexpr quint8 FunctionPiService = 0x28;
constexpr quint8 FunctionStop = 0x29;
constexpr int SetupParamSize = 8;

// Errors as one word: error class and code of an ack header, the error
// code of a user-data answer.
constexpr quint16 ErrorNotImplemented = 0x8104; // service not implemented, or not permitted
constexpr quint16 ErrorMalformed = 0x8404;      // error while processing the job
constexpr quint16 ErrorOverPdu = 0x8500;        // reply would exceed the PDU
constexpr quint16 ErrorNoBlock = 0xD209;        // the block asked for does not exist
constexpr quint16 ErrorNoBlocksOfType = 0xD20E; // no block of the type asked for
constexpr quint16 ErrorNeedPassword = 0xD241;   // the protection level forbids it
constexpr quint16 ErrorNoList = 0xD401;         // the CPU keeps no list of that id
constexpr quint16 ErrorNoIndex = 0xD402;        // it keeps the list, but not that index
constexpr quint16 ErrorBadRequest = 0xD405;     // request not as the function wants it
constexpr quint16 ErrorWrongPassword = 0xD602;
constexpr quint16 ErrorNoPasswordToClear = 0xD604;
constexpr quint16 ErrorNoPasswordToSet = 0xD605;
constexpr quint16 ErrorInvalidValue = 0xDC01;

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
constexpr quint8 GroupBlocks = 0x3;
constexpr quint8 GroupCpuFunctions = 0x4;
constexpr quint8 GroupSecurity = 0x5;
constexpr quint8 GroupClock = 0x7;
constexpr quint8 SubfunctionListAll = 0x01;
constexpr quint8 SubfunctionListOfType = 0x02;
constexpr quint8 SubfunctionBlockInfo = 0x03;
constexpr quint8 SubfunctionReadSzl = 0x01;
constexpr quint8 SubfunctionSetPassword = 0x01;
constexpr quint8 SubfunctionClearPassword = 0x02;
constexpr quint8 SubfunctionReadClock = 0x01;
constexpr quint8 SubfunctionSetClock = 0x02;
constexpr quint8 UnitLast = 0x00;
constexpr quint8 UnitMoreFollow = 0x01;
// Data part: return code, transport size, length, payload.
constexpr int DataItemHeaderSize = 4;
constexpr int SzlSelectorSize = 4; // list id and index
constexpr int PasswordSize = 8;
constexpr quint8 PasswordMask = 0x55;
constexpr int ClockSize = 10;      // reserved byte, century, DATE_AND_TIME
constexpr quint8 ClockReserved = 0x00;
constexpr quint8 ClockCentury = 0x19; // what CPUs send whatever the century (captures of ours)
// Bytes of an answer around its payload: S7 header, parameters, item header.
constexpr int UserDataReplyOverhead = S7JobHeaderSize + UserDataHeadSize + UserDataLongLength + DataItemHeaderSize;

// Blocks as the block functions name them: a '0' and a type letter, then
// five digits and the file system 'A' (or 'P' in PI service arguments).
constexpr char BlockPrefix = '0';
constexpr char BlockTypeOb = '8';
constexpr char BlockTypeDb = 'A';
constexpr char BlockTypeSdb = 'B';
constexpr char BlockTypeFc = 'C';
constexpr char BlockTypeSfc = 'D';
constexpr char BlockTypeFb = 'E';
constexpr char BlockTypeSfb = 'F';
constexpr char BlockFileSystem = 'A';
constexpr int BlockNumberDigits = 5;

// Variable specification (S7ANY item).
constexpr quint8 ItemSpecification = 0x12;
constexpr quint8 ItemSpecLength = 0x0A;
constexpr quint8 SyntaxS7Any = 0x10;
constexpr int ItemSize = 12;
constexpr int ParamHeaderSize = 2; // function, item count

// Item return codes.
constexpr quint8 ReturnOk = 0xFF;
constexpr quint8 ReturnAccessDenied = 0x03;
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

} // namespace SimWire

#endif
