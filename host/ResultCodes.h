#ifndef QUILLMARSH_RESULTCODES_H
#define QUILLMARSH_RESULTCODES_H

// The numbers a driver answers with, by name. The interface itself passes
// them as plain ints (CLabelVariable::status, the results of ConnectDrive and
// of the jobs), so every enumeration has int as its fixed type.

// CLabelVariable::status: the outcome of the last read or write of a record.
enum ERecordStatus : int {
    StatusOk = 0,            // done; timestamp holds the time of the PLC's answer
    StatusNotDone = 1,       // a new record, not read or written yet
    StatusTypeNotServed = 2, // NoType, or a data type outside Bool..Double
    StatusBadCount = 4,      // element count not acceptable, or more than one job can carry
    StatusBadAddress = 5,    // no memory area, a negative byte, or byte + count past 65535
    StatusInputArea = 6,     // a write to the inputs; it was sent all the same
    StatusBadReply = 7,      // the PLC's answer was not acceptable (JobBadReply)
    StatusNoReply = 8,       // no answer arrived in time (JobNoReply)
    StatusNotConnected = 9   // no connection (JobNotConnected)
};

// CLabelVariable::accessStatus: the outcome of the last element accessor.
enum EAccessStatus : int {
    AccessOk = 0,
    AccessNotDone = 1,     // a new record, no accessor called yet
    AccessBadIndex = 10,   // index outside the list
    AccessWrongType = 11   // value holds no list of the accessor's element type
};

// CDriveBaseClass::ConnectDrive.
enum EConnectResult : int {
    ConnectOk = 0,
    ConnectBadText = -1,         // not IP:PORT, a port outside 1..65535, or not an IP address
    ConnectHandshakeFailed = -2, // the PLC did not answer the handshake; connection closed
    ConnectTimeout = -3          // no TCP connection within the connect wait
};

// CDriveBaseClass::DisConnectDrive and DestroyFree.
enum EReleaseResult : int {
    ReleaseDone = 0,
    ReleaseNoSocket = 1 // nothing to close: never connected, or already released
};

// The read and write jobs on the wire; mapped one to one onto statuses 0, 7, 8, 9.
enum EJobResult : int {
    JobOk = 0,
    JobBadReply = -1,
    JobNoReply = -2,
    JobNotConnected = -3
};

#endif
