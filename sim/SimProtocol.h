#ifndef QUILLMARSH_SIMPROTOCOL_H
#define QUILLMARSH_SIMPROTOCOL_H

#include <QByteArray>
#include <QList>

class SimMemory;
class SimFrameReader;

// One connection's view of the ISO-on-TCP / S7 protocol: it takes one complete
// TPKT frame and produces the frame a CPU sends back. It holds the state the
// protocol keeps per connection (transport open, negotiated PDU size).
class SimProtocol
{
public:
    struct Outcome
    {
        QByteArray reply;   // empty: nothing to send
        bool close = false; // close the connection after sending the reply
    };

    // Frame-layer constants shared with the connection's framing.
    static constexpr quint8 TpktVersion = 0x03;
    static constexpr int TpktHeaderSize = 4;
    static constexpr int TpktLengthOffset = 2;
    static constexpr int MinFrameSize = 7;      // TPKT + shortest COTP header
    static constexpr int MaxFrameSize = 0xFFFF; // TPKT length field is 16 bits

    Outcome answer(const QByteArray &frame, SimMemory &memory, int pduLimit);
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
        quint32 bitAddress = 0;
    };
    struct ItemResult
    {
        quint8 returnCode = 0;
        quint8 transportSize = 0;
        quint16 length = 0; // in the unit of transportSize
        QByteArray data;
    };

    Outcome connectionRequest(const QByteArray &frame);
    Outcome dataUnit(const QByteArray &frame, SimMemory &memory, int pduLimit);
    QByteArray setupCommunication(const Job &job, int pduLimit);
    QByteArray readVariables(const Job &job, const SimMemory &memory) const;
    QByteArray writeVariables(const Job &job, SimMemory &memory) const;

    static bool parseItems(const QByteArray &params, QList<ItemAddress> *items);
    static ItemResult readItem(const ItemAddress &item, const SimMemory &memory);
    static quint8 writeItem(const ItemAddress &item, quint8 dataTransport, quint16 dataLength,
                            const QByteArray &data, SimMemory &memory);
    static QByteArray ackData(quint16 reference, quint8 errorClass, quint8 errorCode,
                              const QByteArray &params, const QByteArray &data);
    static QByteArray errorReply(quint16 reference, quint8 errorClass, quint8 errorCode);

    bool connectionConfirmed = false;
    int negotiatedPdu = 0; // 0 until setup communication; then the configured limit applies
};

#endif
