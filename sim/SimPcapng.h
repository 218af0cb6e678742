#ifndef QUILLMARSH_SIMPCAPNG_H
#define QUILLMARSH_SIMPCAPNG_H

#include <QByteArray>

// The blocks of a pcapng file and the packets in them, as pure functions: a
// section header, one Ethernet interface, and Ethernet / IPv4 / TCP packets
// made up around the bytes a connection carried. Blocks are little-endian,
// packets in network order.
class SimPcapng
{
public:
    // One TCP segment of a connection: addresses and ports as the packet
    // carries them, sequence and acknowledgement numbers, flags, payload.
    struct Segment
    {
        quint32 sourceAddress = 0;
        quint32 destinationAddress = 0;
        quint16 sourcePort = 0;
        quint16 destinationPort = 0;
        quint32 sequence = 0;
        quint32 acknowledgement = 0;
        quint8 flags = 0;
        quint16 ipIdentification = 0;
        QByteArray payload;
    };

    static constexpr quint8 TcpFin = 0x01;
    static constexpr quint8 TcpSyn = 0x02;
    static constexpr quint8 TcpRst = 0x04;
    static constexpr quint8 TcpPush = 0x08;
    static constexpr quint8 TcpAck = 0x10;
    // The most payload one segment carries (an IPv4 packet holds 64 KiB).
    static constexpr int MaxSegmentPayload = 32768;

    static QByteArray sectionHeader();
    static QByteArray ethernetInterface();
    static QByteArray enhancedPacket(quint64 microsecondsSinceEpoch, const QByteArray &packet);
    static QByteArray ethernetPacket(const Segment &segment);

private:
    static QByteArray block(quint32 type, const QByteArray &body);
    static quint16 checksum(const QByteArray &bytes);
};

#endif
