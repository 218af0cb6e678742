#include "SimCapture.h"

#include "SimPcapng.h"

#include <QMutexLocker>
#include <QRandomGenerator>

#include <chrono>

namespace {

quint32 ipv4(const QHostAddress &address)
{
    bool ok = false;
    const quint32 value = address.toIPv4Address(&ok); // IPv4-mapped IPv6 addresses too
    return ok ? value : 0;
}

quint64 microsecondsNow()
{
    using namespace std::chrono;
    return quint64(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count());
}

} // namespace

SimCapture::~SimCapture()
{
    stop();
}

bool SimCapture::start(const QString &path, qint64 limitBytes, QString *error)
{
    QMutexLocker lock(&mutex);
    file.close();
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = file.errorString();
        return false;
    }
    limit = limitBytes;
    written = 0;
    full = false;
    flows.clear();
    write(SimPcapng::sectionHeader() + SimPcapng::ethernetInterface());
    return true;
}

void SimCapture::stop()
{
    QMutexLocker lock(&mutex);
    file.close();
    flows.clear();
}

bool SimCapture::active() const
{
    QMutexLocker lock(&mutex);
    return file.isOpen();
}

void SimCapture::opened(quint64 connection, const QHostAddress &client, quint16 clientPort,
                        const QHostAddress &server, quint16 serverPort)
{
    QMutexLocker lock(&mutex);
    if (!file.isOpen())
        return;
    Flow flow;
    flow.clientAddress = ipv4(client);
    flow.serverAddress = ipv4(server);
    flow.clientPort = clientPort;
    flow.serverPort = serverPort;
    // Initial sequence numbers as a TCP stack picks them; each SYN counts one.
    flow.clientNext = QRandomGenerator::global()->generate();
    flow.serverNext = QRandomGenerator::global()->generate();
    segment(flow, true, SimPcapng::TcpSyn);
    segment(flow, false, SimPcapng::TcpSyn | SimPcapng::TcpAck);
    segment(flow, true, SimPcapng::TcpAck);
    flows.insert(connection, flow);
}

void SimCapture::received(quint64 connection, const QByteArray &bytes)
{
    data(connection, true, bytes);
}

void SimCapture::sent(quint64 connection, const QByteArray &bytes)
{
    data(connection, false, bytes);
}

void SimCapture::closed(quint64 connection, bool byClient)
{
    QMutexLocker lock(&mutex);
    auto it = flows.find(connection);
    if (it == flows.end())
        return;
    segment(*it, byClient, SimPcapng::TcpFin | SimPcapng::TcpAck);
    segment(*it, !byClient, SimPcapng::TcpFin | SimPcapng::TcpAck);
    segment(*it, byClient, SimPcapng::TcpAck);
    flows.erase(it);
    if (file.isOpen())
        file.flush();
}

void SimCapture::reset(quint64 connection)
{
    QMutexLocker lock(&mutex);
    auto it = flows.find(connection);
    if (it == flows.end())
        return;
    segment(*it, false, SimPcapng::TcpRst | SimPcapng::TcpAck);
    flows.erase(it);
    if (file.isOpen())
        file.flush();
}

void SimCapture::data(quint64 connection, bool fromClient, const QByteArray &bytes)
{
    QMutexLocker lock(&mutex);
    auto it = flows.find(connection);
    if (it == flows.end())
        return;
    for (int offset = 0; offset < bytes.size(); offset += SimPcapng::MaxSegmentPayload)
        segment(*it, fromClient, SimPcapng::TcpPush | SimPcapng::TcpAck, bytes.mid(offset, SimPcapng::MaxSegmentPayload));
}

// One packet from one side, acknowledging all the other side sent; SYN and
// FIN count one in the sequence, as payload bytes do.
void SimCapture::segment(Flow &flow, bool fromClient, quint8 flags, const QByteArray &payload)
{
    SimPcapng::Segment out;
    out.sourceAddress = fromClient ? flow.clientAddress : flow.serverAddress;
    out.destinationAddress = fromClient ? flow.serverAddress : flow.clientAddress;
    out.sourcePort = fromClient ? flow.clientPort : flow.serverPort;
    out.destinationPort = fromClient ? flow.serverPort : flow.clientPort;
    quint32 &next = fromClient ? flow.clientNext : flow.serverNext;
    out.sequence = next;
    out.acknowledgement = (flags & SimPcapng::TcpAck) ? (fromClient ? flow.serverNext : flow.clientNext) : 0;
    out.flags = flags;
    out.ipIdentification = flow.ipIdentification++;
    out.payload = payload;
    next += quint32(payload.size()) + ((flags & (SimPcapng::TcpSyn | SimPcapng::TcpFin)) ? 1 : 0);
    write(SimPcapng::enhancedPacket(microsecondsNow(), SimPcapng::ethernetPacket(out)));
}

void SimCapture::write(const QByteArray &block)
{
    if (full || !file.isOpen())
        return;
    if (written + block.size() > limit) {
        full = true;
        qWarning("capture %s stopped at %lld bytes, its limit", qPrintable(file.fileName()), written);
        file.flush();
        return;
    }
    written += file.write(block);
}
