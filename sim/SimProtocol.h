#ifndef QUILLMARSH_SIMPROTOCOL_H
#define QUILLMARSH_SIMPROTOCOL_H

#include <QByteArray>
#include <QDateTime>
#include <QList>

class SimCpuProfile;
class SimMemory;
class SimStatusList;

// One connection's view of the ISO-on-TCP / S7 protocol: it takes one complete
// TPKT frame and produces the frame a CPU sends back. It holds the state the
// protocol keeps per connection (transport open, negotiated PDU size, the rest
// of a system state list still to be fetched).
class SimProtocol
{
public:
    struct Outcome
    {
        QByteArray reply;   // empty: nothing to send
        bool close = false; // close the connection after sending the reply
    };
    // The CPU a frame is answered as, at the moment it arrives.
    struct Cpu
    {
        const SimCpuProfile &profile;
        const SimStatusList &lists;
        int pduLimit;  // the profile's, unless overridden
        bool running;  // RUN, else STOP
        QDateTime now;
    };

    // Frame-layer constants shared with the connection's framing.
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
    // A disconnect request answering the connection request in frame.
    static QByteArray refusal(const QByteArray &frame);

    bool transportOpen() const { return connectionConfirmed; }
    int grantedPdu() const { return negotiatedPdu; }

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
    // One user-data answer: its parameter fields and its single data item.
    struct UserDataAnswer
    {
        quint8 group = 0;
        quint8 subfunction = 0;
        quint8 unitReference = 0;
        bool lastUnit = true;
        quint16 error = 0;
        quint8 returnCode = 0;
        quint8 transportSize = 0;
        QByteArray payload;
    };

    Outcome connectionRequest(const QByteArray &frame);
    Outcome dataUnit(const QByteArray &frame, SimMemory &memory, const Cpu &cpu);
    QByteArray setupCommunication(const Job &job, const Cpu &cpu);
    QByteArray readVariables(const Job &job, const SimMemory &memory) const;
    QByteArray writeVariables(const Job &job, SimMemory &memory) const;
    QByteArray userData(const Job &job, const Cpu &cpu, int pdu);
    QByteArray readStatusList(const Job &job, UserDataAnswer answer, const Cpu &cpu, int pdu);
    QByteArray nextStatusListUnit(quint16 reference, UserDataAnswer answer, int pdu);

    static bool parseItems(const QByteArray &params, QList<ItemAddress> *items);
    static ItemResult readItem(const ItemAddress &item, const SimMemory &memory);
    static quint8 writeItem(const ItemAddress &item, quint8 dataTransport, quint16 dataLength,
                            const QByteArray &data, SimMemory &memory);
    static QByteArray ackData(quint16 reference, quint8 errorClass, quint8 errorCode,
                              const QByteArray &params, const QByteArray &data);
    static QByteArray errorReply(quint16 reference, quint8 errorClass, quint8 errorCode);
    QByteArray userDataReply(quint16 reference, const UserDataAnswer &answer) const;
    QByteArray userDataRefusal(quint16 reference, UserDataAnswer answer, quint16 error) const;

    const quint16 ownReference;
    const quint8 userDataSequence;
    bool connectionConfirmed = false;
    bool communicationSetUp = false;
    int negotiatedPdu = 0; // the lesser of the asked and the configured limit, once set up
    // A system state list longer than one PDU goes out in data units; the
    // client asks for each next one with the sequence number of the first.
    QByteArray statusListRest;
    quint8 statusListUnit = 0; // the unit reference of the list being fetched, 0 for none
    quint8 lastUnitReference = 0;
};

#endif
