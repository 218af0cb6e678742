#ifndef QUILLMARSH_SIMPROTOCOL_H
#define QUILLMARSH_SIMPROTOCOL_H

#include <QByteArray>
#include <QList>
#include <QString>

class SimCpuProfile;
class SimCpuState;
class SimMemory;
class SimStatusList;

// One connection's view of the ISO-on-TCP / S7 protocol: it takes one complete
// TPKT frame and produces the frame a CPU sends back. It holds the state the
// protocol keeps per connection (transport open, the TSAPs asked, negotiated
// PDU size, whether the session password was given, the rest of an answer
// still to be fetched).
class SimProtocol
{
public:
    struct Outcome
    {
        QByteArray reply;    // empty: nothing to send
        bool close = false;  // close the connection after sending the reply
        bool reset = false;  // drop the connection at once with a TCP reset, sending nothing
        bool opened = false; // this frame opened the transport
        QString connectionRefused; // why a connection request is reset, for the log
    };
    // The CPU a frame is answered as, at the moment it arrives.
    struct Cpu
    {
        const SimCpuProfile &profile;
        const SimStatusList &lists;
        int pduLimit; // the profile's, unless overridden
        SimCpuState &state;
    };

    // Frame-layer constants shared with the connection's framing. The
    // simulator keeps its own copy of the wire's constants on purpose, so
    // that a mistake cannot hide by being shared by both ends of a test.
    static constexpr quint8 TpktVersion = 0x03;
    static constexpr int TpktHeaderSize = 4;
    static constexpr int TpktLengthOffset = 2;
    static constexpr int MinFrameSize = 7;      // TPKT + shortest COTP header
    static constexpr int MaxFrameSize = 0xFFFF; // TPKT length field is 16 bits

    // localReference: the CPU's own COTP reference for this connection;
    // sequence: the number its user-data answers carry (neither may be 0).
    SimProtocol(quint16 localReference, quint8 sequence);

    Outcome answer(const QByteArray &frame, SimMemory &memory, const Cpu &cpu);
    static bool isConnectionRequest(const QByteArray &frame);
    // A COTP disconnect request answering the connection request in frame.
    static QByteArray disconnectRequestFor(const QByteArray &frame);

    bool transportOpen() const { return connectionConfirmed; }
    int grantedPdu() const { return negotiatedPdu; }
    // The TSAPs of the connection request, as sent ("10.00"), empty when absent.
    QString callingTsap() const { return tsapText(askedCalling); }
    QString calledTsap() const { return tsapText(askedCalled); }
    // The connection type the called TSAP names (1 PG, 2 OP, 3 S7 basic).
    int connectionType() const;

private:
    struct Job
    {
        quint16 reference = 0;
        QByteArray params;
        QByteArray data;
    };
    struct ItemAddress
    {
        quint8 transportSize = 0;
        int count = 0;
        int dbNumber = 0;
        int area = 0;
        quint32 address = 0; // bit address; for timers and counters their number
    };
    struct ItemResult
    {
        quint8 returnCode = 0;
        quint8 transportSize = 0;
        quint16 length = 0; // in the unit of transportSize
        QByteArray data;
    };
    // The data item of a write job or a user-data request.
    struct DataItem
    {
        quint8 returnCode = 0;
        quint8 transportSize = 0;
        quint16 length = 0;
        QByteArray bytes;
        bool valid = true;
    };
    // One user-data answer: its parameter fields and its single data item.
    struct UserDataAnswer
    {
        quint16 reference = 0;
        quint8 group = 0;
        quint8 subfunction = 0;
        quint8 sequence = 0;
        quint8 unitReference = 0;
        bool lastUnit = true;
        quint16 error = 0;
        quint8 returnCode = 0;
        quint8 transportSize = 0;
        QByteArray payload;
    };

    Outcome connectionRequest(const QByteArray &frame, const Cpu &cpu);
    Outcome dataUnit(const QByteArray &frame, SimMemory &memory, const Cpu &cpu);
    QByteArray setupCommunication(const Job &job, const Cpu &cpu);
    QByteArray variableJob(const Job &job, SimMemory &memory, const Cpu &cpu, int pdu) const;
    QByteArray readVariables(const Job &job, const SimMemory &memory) const;
    QByteArray writeVariables(const Job &job, SimMemory &memory) const;
    QByteArray piService(const Job &job, const Cpu &cpu) const;
    QByteArray userData(const Job &job, SimMemory &memory, const Cpu &cpu, int pdu);
    QByteArray readStatusList(UserDataAnswer answer, const DataItem &item, const Cpu &cpu, int pdu);
    QByteArray blockFunction(UserDataAnswer answer, const DataItem &item, const SimMemory &memory,
                             const Cpu &cpu, int pdu);
    QByteArray security(UserDataAnswer answer, const DataItem &item, const Cpu &cpu);
    QByteArray clock(UserDataAnswer answer, const DataItem &item, const Cpu &cpu) const;
    QByteArray firstUnit(UserDataAnswer answer, const QByteArray &payload, int pdu);
    QByteArray nextUnit(UserDataAnswer answer, int pdu);
    bool permits(const Cpu &cpu, bool write) const;
    static bool acceptsItem(const DataItem &item, int payloadSize, const Cpu &cpu);

    static bool parseItems(const QByteArray &params, QList<ItemAddress> *items);
    static bool parseDataItems(const QByteArray &data, int count, bool fillBytes, QList<DataItem> *items);
    static bool parseDataItem(const QByteArray &data, DataItem *item);
    static ItemResult readItem(const ItemAddress &item, const SimMemory &memory);
    static quint8 writeItem(const ItemAddress &item, const DataItem &data, SimMemory &memory);
    static QByteArray acknowledgement(quint8 messageType, quint16 reference, quint16 error, const QByteArray &params,
                                      const QByteArray &data);
    static QByteArray ackData(quint16 reference, quint16 error, const QByteArray &params, const QByteArray &data);
    static QByteArray errorReply(quint16 reference, quint16 error);
    static QString tsapText(const QByteArray &tsap);
    QByteArray userDataReply(const UserDataAnswer &answer) const;
    QByteArray emptyAnswer(UserDataAnswer answer, quint16 error) const;

    const quint16 ownReference;
    const quint8 userDataSequence;
    bool connectionConfirmed = false;
    bool communicationSetUp = false;
    bool legitimated = false; // the session password was given
    int negotiatedPdu = 0;    // the lesser of the asked and the configured limit, once set up
    QByteArray askedCalling;
    QByteArray askedCalled;
    // An answer longer than one PDU goes out in data units; the client asks
    // for each next one with the sequence number of the first.
    QByteArray pendingUnits;
    quint8 pendingGroup = 0;
    quint8 pendingUnitReference = 0; // of the answer being fetched, 0 for none
    quint8 lastUnitReference = 0;
};

#endif
