#include "SimPcapng.h"

#include <QtEndian>

namespace {

// pcapng block types and fields.
constexpr quint32 SectionHeaderBlock = 0x0A0D0D0A;
constexpr quint32 InterfaceDescriptionBlock = 0x00000001;
constexpr quint32 EnhancedPacketBlock = 0x00000006;
constexpr quint32 ByteOrderMagic = 0x1A2B3C4D;
constexpr quint16 MajorVersion = 1;
constexpr quint16 MinorVersion = 0;
constexpr quint64 UnknownSectionLength = ~quint64(0);
constexpr quint16 LinkTypeEthernet = 1;
constexpr quint32 SnapLength = 0; // no limit
constexpr quint32 InterfaceId = 0;
constexpr int BlockFraming = 12;  // type and the total length twice
constexpr int BlockAlignment = 4;

// Ethernet, IPv4 and TCP headers.
constexpr quint16 EtherTypeIpv4 = 0x0800;
constexpr quint8 LocalMacPrefix[] = {0x02, 0x00}; // locally administered, then the IPv4 address
constexpr quint8 Ipv4VersionAndLength = 0x45;     // version 4, 5 words of header
constexpr int Ipv4HeaderSize = 20;
constexpr quint16 DontFragment = 0x4000;
constexpr quint8 TimeToLive = 64;
constexpr quint8 ProtocolTcp = 6;
constexpr int Ipv4ChecksumOffset = 10;
constexpr int TcpHeaderSize = 20;
constexpr quint8 TcpDataOffset = (TcpHeaderSize / 4) << 4;
constexpr quint16 TcpWindow = 0xFFFF;
constexpr int TcpChecksumOffset = 16;

template <typename T>
void appendLittle(QByteArray *out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out->append(bytes, sizeof(T));
}

template <typename T>
void appendBig(QByteArray *out, T value)
{
    char bytes[sizeof(T)];
    qToBigEndian(value, bytes);
    out->append(bytes, sizeof(T));
}

QByteArray mac(quint32 address)
{
    QByteArray bytes(reinterpret_cast<const char *>(LocalMacPrefix), sizeof(LocalMacPrefix));
    appendBig(&bytes, address);
    return bytes;
}

} // namespace

QByteArray SimPcapng::block(quint32 type, const QByteArray &body)
{
    const int padded = (body.size() + BlockAlignment - 1) / BlockAlignment * BlockAlignment;
    const quint32 total = quint32(BlockFraming + padded);
    QByteArray out;
    appendLittle(&out, type);
    appendLittle(&out, total);
    out.append(body).append(QByteArray(padded - body.size(), '\0'));
    appendLittle(&out, total);
    return out;
}

QByteArray SimPcapng::sectionHeader()
{
    QByteArray body;
    appendLittle(&body, ByteOrderMagic);
    appendLittle(&body, MajorVersion);
    appendLittle(&body, MinorVersion);
    appendLittle(&body, UnknownSectionLength);
    return block(SectionHeaderBlock, body);
}

QByteArray SimPcapng::ethernetInterface()
{
    QByteArray body;
    appendLittle(&body, LinkTypeEthernet);
    appendLittle(&body, quint16(0)); // reserved
    appendLittle(&body, SnapLength);
    return block(InterfaceDescriptionBlock, body);
}

// Time stamps in microseconds, the resolution an interface has by default.
QByteArray SimPcapng::enhancedPacket(quint64 microsecondsSinceEpoch, const QByteArray &packet)
{
    QByteArray body;
    appendLittle(&body, InterfaceId);
    appendLittle(&body, quint32(microsecondsSinceEpoch >> 32));
    appendLittle(&body, quint32(microsecondsSinceEpoch));
    appendLittle(&body, quint32(packet.size())); // captured
    appendLittle(&body, quint32(packet.size())); // on the wire
    body.append(packet);
    return block(EnhancedPacketBlock, body);
}

// The Internet checksum: the ones' complement of the ones' complement sum of
// 16-bit words, an odd last byte padded with 0.
quint16 SimPcapng::checksum(const QByteArray &bytes)
{
    quint32 sum = 0;
    for (int i = 0; i + 1 < bytes.size(); i += 2)
        sum += quint32(quint8(bytes.at(i))) << 8 | quint8(bytes.at(i + 1));
    if (bytes.size() & 1)
        sum += quint32(quint8(bytes.at(bytes.size() - 1))) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum);
}

QByteArray SimPcapng::ethernetPacket(const Segment &segment)
{
    QByteArray tcp;
    appendBig(&tcp, segment.sourcePort);
    appendBig(&tcp, segment.destinationPort);
    appendBig(&tcp, segment.sequence);
    appendBig(&tcp, segment.acknowledgement);
    tcp.append(char(TcpDataOffset)).append(char(segment.flags));
    appendBig(&tcp, TcpWindow);
    appendBig(&tcp, quint16(0)); // checksum, below
    appendBig(&tcp, quint16(0)); // urgent pointer
    tcp.append(segment.payload);
    QByteArray pseudoHeader;
    appendBig(&pseudoHeader, segment.sourceAddress);
    appendBig(&pseudoHeader, segment.destinationAddress);
    pseudoHeader.append('\0').append(char(ProtocolTcp));
    appendBig(&pseudoHeader, quint16(tcp.size()));
    qToBigEndian(checksum(pseudoHeader + tcp), tcp.data() + TcpChecksumOffset);

    QByteArray ip;
    ip.append(char(Ipv4VersionAndLength)).append('\0'); // no type of service
    appendBig(&ip, quint16(Ipv4HeaderSize + tcp.size()));
    appendBig(&ip, segment.ipIdentification);
    appendBig(&ip, DontFragment);
    ip.append(char(TimeToLive)).append(char(ProtocolTcp));
    appendBig(&ip, quint16(0)); // checksum, below
    appendBig(&ip, segment.sourceAddress);
    appendBig(&ip, segment.destinationAddress);
    qToBigEndian(checksum(ip), ip.data() + Ipv4ChecksumOffset);

    QByteArray ethernet = mac(segment.destinationAddress) + mac(segment.sourceAddress);
    appendBig(&ethernet, EtherTypeIpv4);
    return ethernet + ip + tcp;
}
