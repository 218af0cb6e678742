// Several raw clients on the simulated CPU at once, their requests
// interleaved without waiting for answers: each gets its own answers, in
// its own order, with its own connection state (references, PDU, the list
// it is fetching), and what one writes or logs does not disturb another.
// A client past the CPU's connections is reset, and the others go on.
#include "SimPlc.h"

#include <QSet>
#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

constexpr int Clients = 4;
constexpr int JobsPerClient = 25;
constexpr int RangeBytes = 16;
constexpr int WaitMs = 3000;
constexpr int S7Offset = 7;
constexpr int PduReferenceOffset = S7Offset + 4;
constexpr int UserDataSequenceOffset = S7Offset + 10 + 7;

QByteArray h(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray be16(int value)
{
    QByteArray bytes(2, '\0');
    qToBigEndian(quint16(value), bytes.data());
    return bytes;
}

quint16 word(const QByteArray &bytes, int offset)
{
    return offset + 2 <= bytes.size() ? qFromBigEndian<quint16>(bytes.constData() + offset) : 0;
}

QByteArray connectRequest(int callerReference, int calledTsap = 0x0102)
{
    return h("0300001611e00000") + be16(callerReference) + h("00c0010ac1020100c202") + be16(calledTsap);
}

// How the CPU ends a connection that sent frame, as a plain socket sees it:
// 0 for a close, the error of a reset (ECONNRESET), -1 for data or silence.
int peerEnd(quint16 port, const QByteArray &frame)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int result = -1;
    if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
        && send(fd, frame.constData(), size_t(frame.size()), 0) == frame.size()) {
        pollfd readable{fd, POLLIN, 0};
        char byte = 0;
        if (poll(&readable, 1, WaitMs) == 1) {
            const ssize_t received = recv(fd, &byte, 1, 0);
            result = received == 0 ? 0 : received < 0 ? errno : -1;
        }
    }
    close(fd);
    return result;
}

QByteArray setupJob(int pdu)
{
    return h("0300001902f08032010000000000080000f00000010001") + be16(pdu);
}

// A write of bytes, or a read of as many, at byte `offset` of DB1.
QByteArray writeJob(int reference, int offset, const QByteArray &bytes)
{
    return h("0300") + be16(35 + bytes.size()) + h("02f08032010000") + be16(reference)
        + h("000e") + be16(4 + bytes.size()) + h("0501120a1002") + be16(bytes.size()) + h("000184")
        + h("00") + be16(offset * 8) + h("0004") + be16(bytes.size() * 8) + bytes;
}

QByteArray readJob(int reference, int offset, int count)
{
    return h("0300001f02f08032010000") + be16(reference) + h("000e00000401120a1002") + be16(count)
        + h("000184") + h("00") + be16(offset * 8);
}


QByteArray componentListRequest()
{
    return h("0300002102f080320700000001000800080001120411440100ff090004001c0000");
}

QByteArray followUp(char sequence)
{
    QByteArray request = h("0300002102f080320700000002000c000400011208124401000000 00000a000000");
    request[UserDataSequenceOffset] = sequence;
    return request;
}

// One client: a socket and the frames it gets, one TPKT frame at a time.
struct RawClient
{
    QTcpSocket socket;
    QByteArray inbox;

    bool open(quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(WaitMs);
    }
    void send(const QByteArray &frame) { socket.write(frame); }
    QByteArray next()
    {
        while (inbox.size() < 4 || inbox.size() < word(inbox, 2)) {
            if (!socket.waitForReadyRead(WaitMs))
                return QByteArray();
            inbox += socket.readAll();
        }
        const QByteArray frame = inbox.left(word(inbox, 2));
        inbox.remove(0, frame.size());
        return frame;
    }
};

// A client connected and set up, for the called TSAP given.
bool openAndSetUp(RawClient *client, quint16 port, int calledTsap)
{
    if (!client->open(port))
        return false;
    client->send(connectRequest(1, calledTsap));
    if (client->next().size() != 22)
        return false;
    client->send(setupJob(240));
    return client->next().size() == 27;
}

QByteArray pattern(int client, int job)
{
    QByteArray bytes(RangeBytes, '\0');
    for (int i = 0; i < RangeBytes; ++i)
        bytes[i] = char(client * 64 + job * 3 + i);
    return bytes;
}

} // namespace

class TstSimClients : public QObject
{
    Q_OBJECT
    SimPlc plc;
    std::vector<std::unique_ptr<RawClient>> clients;

    // Connection and setup of every client, interleaved; client i asks for
    // the PDU pdus[i].
    void openAll(const QList<int> &pdus, QList<QByteArray> *confirms, QList<QByteArray> *grants)
    {
        clients.clear();
        for (int i = 0; i < Clients; ++i) {
            clients.push_back(std::make_unique<RawClient>());
            QVERIFY(clients.back()->open(plc.port()));
        }
        for (int i = 0; i < Clients; ++i)
            clients[i]->send(connectRequest(0x100 + i));
        for (int i = 0; i < Clients; ++i)
            confirms->append(clients[i]->next());
        for (int i = 0; i < Clients; ++i)
            clients[i]->send(setupJob(pdus.at(i)));
        for (int i = 0; i < Clients; ++i)
            grants->append(clients[i]->next());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(plc.setCpu(QStringLiteral("s7-400")));
        QVERIFY(plc.start());
        plc.setFrameLog(true);
    }
    void init() { plc.clearReceivedFrames(); }
    void cleanup() { clients.clear(); }

    // Each confirm answers its caller's reference with a reference of the
    // CPU's own for that connection; each setup gets its own PDU.
    void ownConnectionState()
    {
        QList<QByteArray> confirms;
        QList<QByteArray> grants;
        openAll({200, 480, 960, 240}, &confirms, &grants);
        QSet<quint16> ownReferences;
        for (int i = 0; i < Clients; ++i) {
            QCOMPARE(confirms.at(i).size(), 22);
            QCOMPARE(word(confirms.at(i), 6), quint16(0x100 + i));
            ownReferences.insert(word(confirms.at(i), 8));
        }
        QCOMPARE(ownReferences.size(), Clients);
        QVERIFY(!ownReferences.contains(0));
        const QList<int> granted = {200, 480, 480, 240};
        for (int i = 0; i < Clients; ++i)
            QCOMPARE(int(word(grants.at(i), grants.at(i).size() - 2)), granted.at(i));
        // A reply of 230 bytes: too big for the first client's PDU only.
        for (int i = 0; i < Clients; ++i)
            clients[i]->send(readJob(1, 0, 210));
        for (int i = 0; i < Clients; ++i)
            QCOMPARE(clients[i]->next().size(), i == 0 ? 19 : 7 + 12 + 2 + 4 + 210);
        QStringList expectedPeers;
        for (const auto &client : clients)
            expectedPeers << QStringLiteral("127.0.0.1:%1 calling 01.00 called 01.02").arg(client->socket.localPort());
        QStringList peers = plc.clients();
        peers.sort();
        expectedPeers.sort();
        QCOMPARE(peers, expectedPeers);
    }

    // Every client pipelines writes and reads of its own range, all clients
    // at once: every answer comes back to its client, in order, with its
    // reference and its client's bytes; the log keeps each client's order.
    void interleavedJobs()
    {
        QList<QByteArray> confirms;
        QList<QByteArray> grants;
        openAll({480, 480, 480, 480}, &confirms, &grants);
        QVector<QList<QByteArray>> sent(Clients);
        for (int job = 0; job < JobsPerClient; ++job) {
            for (int i = 0; i < Clients; ++i) {
                const int reference = i * 1000 + job * 2;
                sent[i] << writeJob(reference, i * 100, pattern(i, job)) << readJob(reference + 1, i * 100, RangeBytes);
                clients[i]->send(sent[i].at(sent[i].size() - 2));
                clients[i]->send(sent[i].last());
            }
        }
        for (int job = 0; job < JobsPerClient; ++job) {
            for (int i = 0; i < Clients; ++i) {
                const QByteArray written = clients[i]->next();
                const QByteArray read = clients[i]->next();
                QCOMPARE(word(written, PduReferenceOffset), quint16(i * 1000 + job * 2));
                QCOMPARE(written.right(1), h("ff"));
                QCOMPARE(word(read, PduReferenceOffset), quint16(i * 1000 + job * 2 + 1));
                QCOMPARE(read.right(RangeBytes).toHex(), pattern(i, job).toHex());
            }
        }
        for (int i = 0; i < Clients; ++i)
            QCOMPARE(plc.memory(SimPlc::AreaDataBlocks, 1, i * 100, RangeBytes), pattern(i, JobsPerClient - 1));
        // The log holds every client's jobs, each client's in its order.
        const QList<QByteArray> log = plc.receivedFrames();
        for (int i = 0; i < Clients; ++i) {
            int at = 0;
            for (const QByteArray &frame : log) {
                if (at < sent[i].size() && frame == sent[i].at(at))
                    ++at;
            }
            QCOMPARE(at, sent[i].size());
        }
    }

    // Two clients fetch the component list in two units each, their
    // requests interleaved: each follow-up, with its own connection's
    // sequence number, gets the rest of its own list; another's is refused.
    void interleavedLists()
    {
        QList<QByteArray> confirms;
        QList<QByteArray> grants;
        openAll({240, 240, 240, 240}, &confirms, &grants);
        clients[0]->send(componentListRequest());
        clients[1]->send(componentListRequest());
        const QByteArray first0 = clients[0]->next();
        const QByteArray first1 = clients[1]->next();
        const char sequence0 = first0.at(UserDataSequenceOffset);
        const char sequence1 = first1.at(UserDataSequenceOffset);
        QVERIFY(sequence0 != sequence1);
        QCOMPARE(first0.size(), 247); // 214 bytes of the list, more to follow
        clients[1]->send(followUp(sequence0));
        QCOMPARE(clients[1]->next().right(6), h("d4050a000000")); // not client 1's sequence
        clients[1]->send(followUp(sequence1));
        clients[0]->send(followUp(sequence0));
        const QByteArray rest1 = clients[1]->next();
        const QByteArray rest0 = clients[0]->next();
        QCOMPARE(rest0.size(), 167);
        const int data = S7Offset + 10 + 12;
        QCOMPARE(rest0.mid(data), rest1.mid(data));
        QCOMPARE(rest0.mid(S7Offset + 10 + 9, 1), h("00")); // the last unit
    }

    // An S7-200 SMART takes one programming device: a second is reset,
    // while the first keeps reading its values and an HMI still connects;
    // once the first leaves, its place is free again.
    void connectionLimit()
    {
        SimPlc smart;
        QVERIFY(smart.setCpu(QStringLiteral("s7-200-smart")));
        QVERIFY(smart.setMemory(SimPlc::AreaDataBlocks, 1, 0, h("c0ffee")));
        QVERIFY(smart.start());
        QStringList lines;
        connect(&smart, &SimPlc::connectionRefused, this, [&lines](const QString &line) { lines << line; });
        RawClient pg;
        QVERIFY(openAndSetUp(&pg, smart.port(), 0x0100));
        QCOMPARE(peerEnd(smart.port(), connectRequest(2, 0x0101)), ECONNRESET);
        QTRY_COMPARE(lines.size(), 1);
        QVERIFY2(lines.first().endsWith(QLatin1String("the CPU's PG connections (1) are all in use")),
                 qPrintable(lines.first()));
        RawClient hmi;
        QVERIFY(openAndSetUp(&hmi, smart.port(), 0x0200));
        pg.send(readJob(7, 0, 3));
        QCOMPARE(pg.next().right(3), h("c0ffee"));
        pg.socket.disconnectFromHost();
        QTRY_COMPARE(smart.connectionCount(), 1);
        RawClient next;
        QVERIFY(openAndSetUp(&next, smart.port(), 0x0101));
        QCOMPARE(lines.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TstSimClients)
#include "tst_simclients.moc"
