// Request frames byte for byte and the verdicts on reply bytes, without a
// socket.
#include <QtTest>

#include "S7Frame.h"

static QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

Q_DECLARE_METATYPE(EJobResult)
Q_DECLARE_METATYPE(S7Frame::HandshakeResult)

class TstS7Frame : public QObject
{
    Q_OBJECT

private slots:
    void handshakeRequests()
    {
        QCOMPARE(S7Frame::connectRequest().toHex(' '),
                 hex("03 00 00 16 11 e0 00 00 00 01 00 c0 01 0a c1 02 10 00 c2 02 03 00").toHex(' '));
        QCOMPARE(S7Frame::setupCommunication().toHex(' '),
                 hex("03 00 00 19 02 f0 80 32 01 00 00 cc c1 00 08 00 00 f0 00 00 01 00 01 03 c0").toHex(' '));
    }

    void handshakeReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("expectedCode");
        QTest::addColumn<S7Frame::HandshakeResult>("result");
        const QByteArray confirm = hex("03 00 00 16 11 d0 00 01 00 01 00 c0 01 0a c1 02 10 00 c2 02 03 00");
        QTest::addRow("confirm") << confirm << 0xD0 << S7Frame::HandshakeOk;
        QTest::addRow("confirm, other content") << hex("03 00 00 07 02 d0 00") << 0xD0 << S7Frame::HandshakeOk;
        QTest::addRow("five bytes") << hex("03 00 00 16 11") << 0xD0 << S7Frame::HandshakeUnconfirmed;
        QTest::addRow("empty") << QByteArray() << 0xD0 << S7Frame::HandshakeUnconfirmed;
        QTest::addRow("disconnect request") << hex("03 00 00 0b 06 80 00 01 00 01 00") << 0xD0 << S7Frame::HandshakeUnconfirmed;
        QTest::addRow("setup ack") << hex("03 00 00 1b 02 f0 80 32 03 00 00 cc c1 00 08 00 00 00 00 f0 00 00 01 00 01 00 f0")
                                   << 0xF0 << S7Frame::HandshakeOk;
        QTest::addRow("setup ack with error class")
            << hex("03 00 00 1b 02 f0 80 32 03 00 00 cc c1 00 08 00 00 85 00 f0 00 00 01 00 01 00 f0") << 0xF0 << S7Frame::HandshakeOk;
        QTest::addRow("confirm where data expected") << confirm << 0xF0 << S7Frame::HandshakeUnconfirmed;
    }
    void handshakeReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, expectedCode);
        QFETCH(S7Frame::HandshakeResult, result);
        QCOMPARE(S7Frame::judgeHandshakeReply(reply, quint8(expectedCode)), result);
    }

    void readRequest_data()
    {
        QTest::addColumn<int>("reference");
        QTest::addColumn<int>("byteAddress");
        QTest::addColumn<int>("byteCount");
        QTest::addColumn<int>("db");
        QTest::addColumn<int>("area");
        QTest::addColumn<QByteArray>("frame");
        const char *head = "03 00 00 1f 02 f0 80 32 01 00 00";
        auto row = [&](const char *name, int ref, int addr, int n, int db, int area, const char *tail) {
            QTest::addRow("%s", name) << ref << addr << n << db << area << hex(head) + hex(tail);
        };
        row("2 bytes at DB1.4", 0x1234, 4, 2, 1, 0x84, "12 34 00 0e 00 00 04 01 12 0a 10 02 00 02 00 01 84 00 00 20");
        row("V memory goes to DB1", 1, 100, 4, 0, 0x84, "00 01 00 0e 00 00 04 01 12 0a 10 02 00 04 00 01 84 00 03 20");
        row("negative block goes to DB1", 1, 0, 1, -3, 0x84, "00 01 00 0e 00 00 04 01 12 0a 10 02 00 01 00 01 84 00 00 00");
        row("markers", 2, 10, 1, 0, 0x83, "00 02 00 0e 00 00 04 01 12 0a 10 02 00 01 00 00 83 00 00 50");
        row("outputs", 2, 65534, 1, 0, 0x82, "00 02 00 0e 00 00 04 01 12 0a 10 02 00 01 00 00 82 07 ff f0");
        row("count keeps its low 16 bits", 3, 0, 65536 + 5, 1, 0x84,
            "00 03 00 0e 00 00 04 01 12 0a 10 02 00 05 00 01 84 00 00 00");
        row("address keeps its low 24 bits", 3, 0x200001, 1, 1, 0x84,
            "00 03 00 0e 00 00 04 01 12 0a 10 02 00 01 00 01 84 00 00 08");
    }
    void readRequest()
    {
        QFETCH(int, reference);
        QFETCH(int, byteAddress);
        QFETCH(int, byteCount);
        QFETCH(int, db);
        QFETCH(int, area);
        QFETCH(QByteArray, frame);
        QCOMPARE(S7Frame::readRequest(quint16(reference), byteAddress, byteCount, db, area).toHex(' '),
                 frame.toHex(' '));
    }

    void readReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("byteCount");
        QTest::addColumn<EJobResult>("result");
        QTest::addColumn<QByteArray>("data");
        const QByteArray head = hex("03 00 00 1b 02 f0 80 32 03 00 00 12 34 00 02 00 06 00 00 04 01 ff 04 00 10");
        QTest::addRow("exact") << head + hex("ab cd") << 2 << JobOk << hex("ab cd");
        QTest::addRow("error class, right length")
            << hex("03 00 00 1b 02 f0 80 32 03 00 00 12 34 00 02 00 06 85 00 04 01 0a 00 00 00 11 22") << 2 << JobOk
            << hex("11 22");
        QTest::addRow("one short") << head + hex("ab") << 2 << JobBadReply << QByteArray();
        QTest::addRow("one long") << head + hex("ab cd ef") << 2 << JobBadReply << QByteArray();
        QTest::addRow("empty") << QByteArray() << 2 << JobNoReply << QByteArray();
        QTest::addRow("zero bytes") << head << 0 << JobOk << QByteArray();
        QTest::addRow("negative count, matching length") << head.left(22) << -3 << JobOk << QByteArray();
    }
    void readReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, byteCount);
        QFETCH(EJobResult, result);
        QFETCH(QByteArray, data);
        QByteArray out("prefix");
        QCOMPARE(S7Frame::judgeReadReply(reply, byteCount, &out), result);
        QCOMPARE(out.toHex(' '), (QByteArray("prefix") + data).toHex(' '));
    }

    void writeRequest_data()
    {
        QTest::addColumn<int>("byteCount");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("db");
        QTest::addColumn<int>("area");
        QTest::addColumn<QByteArray>("frame");
        QTest::addRow("12 34 at DB1.4") << 2 << hex("12 34") << 1 << 0x84
            << hex("03 00 00 25 02 f0 80 32 01 00 00 55 aa 00 0e 00 06 05 01 12 0a 10 02 00 02 00 01 84 00 00 20 00 04 00 10 12 34");
        QTest::addRow("zero bytes") << 0 << QByteArray() << 10 << 0x84
            << hex("03 00 00 23 02 f0 80 32 01 00 00 55 aa 00 0e 00 04 05 01 12 0a 10 02 00 00 00 0a 84 00 00 20 00 04 00 00");
        QTest::addRow("payload longer than count") << 1 << hex("77 88") << 0 << 0x83
            << hex("03 00 00 24 02 f0 80 32 01 00 00 55 aa 00 0e 00 05 05 01 12 0a 10 02 00 01 00 00 83 00 00 20 00 04 00 08 77");
    }
    void writeRequest()
    {
        QFETCH(int, byteCount);
        QFETCH(QByteArray, payload);
        QFETCH(int, db);
        QFETCH(int, area);
        QFETCH(QByteArray, frame);
        QCOMPARE(S7Frame::writeRequest(0x55aa, db, 4, byteCount, payload, area).toHex(' '), frame.toHex(' '));
    }

    void writeRequestLengths()
    {
        // The largest write: its data length in bits just fits 16 bits.
        const QByteArray payload(8192, '\x5a');
        const QByteArray largest = S7Frame::writeRequest(1, 1, 0, 8191, payload, 0x84);
        QCOMPARE(largest.mid(2, 2).toHex(), QByteArray("2022"));  // TPKT length
        QCOMPARE(largest.mid(15, 2).toHex(), QByteArray("2003")); // S7 data length
        QCOMPARE(largest.mid(23, 2).toHex(), QByteArray("1fff")); // element count
        QCOMPARE(largest.mid(33, 2).toHex(), QByteArray("fff8")); // bits
        QCOMPARE(largest.mid(35), payload.left(8191));
        QVERIFY(S7Frame::writeRequest(1, 1, 0, 8192, payload, 0x84).isEmpty());
        QVERIFY(S7Frame::writeRequest(1, 1, 0, 3, payload.left(2), 0x84).isEmpty());
        QVERIFY(S7Frame::writeRequest(1, 1, 0, -1, payload, 0x84).isEmpty());
    }

    void writeBitsRequest_data()
    {
        QTest::addColumn<int>("firstBit");
        QTest::addColumn<QByteArray>("bits");
        QTest::addColumn<int>("db");
        QTest::addColumn<int>("area");
        QTest::addColumn<QByteArray>("frame");
        QTest::addRow("M0.1 true") << 1 << hex("01") << 0 << 0x83
            << hex("03 00 00 24 02 f0 80 32 01 00 00 00 07 00 0e 00 05 05 01 12 0a 10 01 00 01 00 00 83 00 00 01 00 03 00 01 01");
        QTest::addRow("DB1.DBX10.3 false") << 83 << hex("00") << 1 << 0x84
            << hex("03 00 00 24 02 f0 80 32 01 00 00 00 07 00 0e 00 05 05 01 12 0a 10 01 00 01 00 01 84 00 00 53 00 03 00 01 00");
        QTest::addRow("M0.7 and M1.0") << 7 << hex("01 00") << 0 << 0x83
            << hex("03 00 00 36 02 f0 80 32 01 00 00 00 07 00 1a 00 0b 05 02"
                   " 12 0a 10 01 00 01 00 00 83 00 00 07 12 0a 10 01 00 01 00 00 83 00 00 08"
                   " 00 03 00 01 01 00 00 03 00 01 00");
    }
    void writeBitsRequest()
    {
        QFETCH(int, firstBit);
        QFETCH(QByteArray, bits);
        QFETCH(int, db);
        QFETCH(int, area);
        QFETCH(QByteArray, frame);
        QCOMPARE(S7Frame::writeBitsRequest(7, db, firstBit, bits, area).toHex(' '), frame.toHex(' '));
    }

    void bitJobFitsSmallestPdu()
    {
        const int most = S7Frame::maxBitsPerJob();
        const int s7Part = [](int n) {
            return S7Frame::writeBitsRequest(0, 1, 0, QByteArray(n, '\1'), 0x84).size() - 7;
        }(most);
        QVERIFY(s7Part <= 240);
        QVERIFY(S7Frame::writeBitsRequest(0, 1, 0, QByteArray(most + 1, '\1'), 0x84).size() - 7 > 240);
    }

    void writeReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("items");
        QTest::addColumn<EJobResult>("result");
        const QByteArray head = hex("03 00 00 16 02 f0 80 32 03 00 00 55 aa 00 02 00 01 00 00 05 01");
        QTest::addRow("written") << head + hex("ff") << 1 << JobOk;
        QTest::addRow("object does not exist") << head + hex("0a") << 1 << JobBadReply;
        QTest::addRow("21 bytes") << head << 1 << JobBadReply;
        QTest::addRow("23 bytes") << head + hex("ff 00") << 1 << JobBadReply;
        QTest::addRow("empty") << QByteArray() << 1 << JobNoReply;
        QTest::addRow("error class, code ff") << hex("03 00 00 16 02 f0 80 32 03 00 00 00 00 00 02 00 01 81 04 05 01 ff") << 1 << JobOk;
        QTest::addRow("three bits written") << head + hex("ff ff ff") << 3 << JobOk;
        QTest::addRow("one of three bits refused") << head + hex("ff 05 ff") << 3 << JobBadReply;
        QTest::addRow("two codes for three bits") << head + hex("ff ff") << 3 << JobBadReply;
    }
    void writeReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, items);
        QFETCH(EJobResult, result);
        QCOMPARE(S7Frame::judgeWriteReply(reply, items), result);
    }
};

QTEST_APPLESS_MAIN(TstS7Frame)
#include "tst_s7frame.moc"
