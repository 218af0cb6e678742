// Replays the requests of real S7-300 CPUs' exchanges (public captures, in
// data/s7-300-pairs.tsv with their sources) against the simulated CPU and
// compares each reply with the CPU's as a protocol engineer would: lengths,
// headers, error classes and codes, parameters, return codes, transport
// sizes, fill bytes and the layout of system state lists. PDU references,
// memory values, the texts of the component list and clocks differ per plant
// and are left out.
#include "SimPlc.h"
#include "TestFrames.h"

#include <QFile>
#include <QMap>
#include <QTcpSocket>
#include <QtTest>

namespace {

const QByteArray ConnectRequest = QByteArray::fromHex("0300001611e00000000100c0010ac1020100c2020102");
const QByteArray DefaultSetup = QByteArray::fromHex("0300001902f08032010000000000080000f0000001000101e0");
constexpr int WaitMs = 2000;
constexpr int TpktLengthOffset = 2;
constexpr int S7Offset = 7;            // TPKT and COTP data header
constexpr int RosctrOffset = S7Offset + 1;
constexpr quint8 AckData = 0x03;
constexpr quint8 UserData = 0x07;
constexpr int JobHeaderSize = 10;
constexpr int AckHeaderSize = 12;
constexpr int UserDataSequence = 7;    // within the user-data parameters
constexpr int UserDataUnitReference = 8;
constexpr quint8 FunctionRead = 0x04;
constexpr int SzlHeaderSize = 8;       // id, index, record length, record count
constexpr int ItemHeaderSize = 4;      // return code, transport size, length

// Per byte of an SZL record: what a comparison keeps of it. 'x' the byte,
// '*' nothing, 't' whether it is NUL (the last byte of a NUL-padded text).
char szlByteRule(quint16 list, quint16 recordIndex, int position)
{
    switch (list & 0xFF) {
    case 0x11: // module identification: firmware minor and patch numbers differ per CPU
        return recordIndex == 0x0007 && position >= 26 ? '*' : 'x';
    case 0x1C: // component identification: texts per plant, vendor and empty records exact
        if (position < 2 || recordIndex >= 0x0009)
            return 'x';
        return position == 33 ? 't' : '*';
    case 0x24: // operating mode: the clock in the last 8 bytes
        return position < 12 ? 'x' : '*';
    default:
        return 'x';
    }
}

// The system state list bytes of one data unit; before: the units of the
// same list that came earlier, for the list header and record boundaries.
QString describeList(const QByteArray &unit, const QByteArray &before)
{
    const QByteArray list = before + unit;
    const quint16 id = word(list, 0);
    const int recordSize = word(list, 4);
    QString text;
    for (int p = before.size(); p < list.size(); ++p) {
        char rule = 'x';
        if (p >= SzlHeaderSize && recordSize > 0) {
            const int start = SzlHeaderSize + (p - SzlHeaderSize) / recordSize * recordSize;
            rule = szlByteRule(id, word(list, start), p - start);
        }
        if (rule == 'x')
            text += QString::fromLatin1(list.mid(p, 1).toHex());
        else if (rule == 't')
            text += list.at(p) == '\0' ? QStringLiteral("<nul>") : QStringLiteral("<text>");
        else
            text += QStringLiteral("**");
    }
    return text;
}

// Read items: return code, transport size, length, then the value's size
// and its fill byte, not the value.
QStringList describeReadItems(const QByteArray &data)
{
    QStringList items;
    int offset = 0;
    while (offset + ItemHeaderSize <= data.size()) {
        const quint8 transport = quint8(data.at(offset + 1));
        const int length = word(data, offset + 2);
        const bool inBits = transport == 0x03 || transport == 0x04 || transport == 0x05;
        const int bytes = inBits ? (length + 7) / 8 : length;
        QString item = QString::fromLatin1(data.mid(offset, ItemHeaderSize).toHex()) + QStringLiteral(" value %1").arg(bytes);
        offset += ItemHeaderSize + bytes;
        if ((bytes & 1) && offset < data.size())
            item += QStringLiteral(" fill %1").arg(QString::fromLatin1(data.mid(offset++, 1).toHex()));
        items << item;
    }
    if (offset != data.size())
        items << QStringLiteral("trailing %1 bytes").arg(data.size() - offset);
    return items;
}

// The reply as the fields a comparison keeps, one per line.
QStringList describe(const QByteArray &frame, const QByteArray &listBefore)
{
    const quint8 rosctr = frame.size() > RosctrOffset ? quint8(frame.at(RosctrOffset)) : 0;
    const int headerSize = rosctr == AckData ? AckHeaderSize : JobHeaderSize;
    const int paramLength = word(frame, S7Offset + 6);
    const int dataLength = word(frame, S7Offset + 8);
    const QByteArray header = frame.mid(S7Offset, headerSize);
    const QByteArray params = frame.mid(S7Offset + headerSize, paramLength);
    const QByteArray data = frame.mid(S7Offset + headerSize + paramLength, dataLength);
    QStringList fields;
    fields << QStringLiteral("frame length %1 (tpkt %2)").arg(frame.size()).arg(word(frame, TpktLengthOffset));
    fields << QStringLiteral("cotp %1").arg(QString::fromLatin1(frame.left(S7Offset).mid(4).toHex()));
    // The header without its PDU reference (bytes 4 and 5).
    fields << QStringLiteral("header %1 %2").arg(QString::fromLatin1(header.left(4).toHex()),
                                                 QString::fromLatin1(header.mid(6).toHex()));
    if (rosctr == UserData) {
        QByteArray kept = params;
        if (kept.size() > UserDataUnitReference) {
            fields << QStringLiteral("sequence %1").arg(kept.at(UserDataSequence) ? "set" : "0");
            fields << QStringLiteral("unit reference %1").arg(kept.at(UserDataUnitReference) ? "set" : "0");
            kept[UserDataSequence] = kept[UserDataUnitReference] = 0;
        }
        fields << QStringLiteral("params %1").arg(QString::fromLatin1(kept.toHex()));
        fields << QStringLiteral("data item %1").arg(QString::fromLatin1(data.left(ItemHeaderSize).toHex()));
        if (data.size() > ItemHeaderSize)
            fields << QStringLiteral("list %1").arg(describeList(data.mid(ItemHeaderSize), listBefore));
    } else {
        fields << QStringLiteral("params %1").arg(QString::fromLatin1(params.toHex()));
        if (params.startsWith(char(FunctionRead)))
            fields << describeReadItems(data);
        else
            fields << QStringLiteral("data %1").arg(QString::fromLatin1(data.toHex()));
    }
    return fields;
}

struct Tally
{
    int matched = 0;
    int total = 0;
};

} // namespace

class TstReplay : public QObject
{
    Q_OBJECT
    SimPlc plc;
    QTcpSocket socket;
    QMap<QString, Tally> tally;

    QByteArray exchange(const QByteArray &request)
    {
        socket.write(request);
        QByteArray reply = socket.readAll();
        while ((reply.size() < 4 || reply.size() < word(reply, TpktLengthOffset)) && socket.waitForReadyRead(WaitMs))
            reply += socket.readAll();
        return reply;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(plc.setCpu(QStringLiteral("s7-300")));
        QVERIFY(plc.start());
    }
    void cleanupTestCase()
    {
        for (auto it = tally.cbegin(); it != tally.cend(); ++it)
            qInfo("replay: %-8s %2d of %2d pairs match", qPrintable(it.key()), it.value().matched, it.value().total);
    }
    void cleanup() { socket.abort(); }

    void pair_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("setup");
        QTest::addColumn<QByteArray>("prelude");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QFile file(QStringLiteral(QUILLMARSH_REPLAY_DATA));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QList<QByteArray> lines = file.readAll().split('\n');
        const QList<QByteArray> columns = lines.value(0).split('\t');
        const auto column = [&columns](const QList<QByteArray> &fields, const char *name) {
            return fields.value(columns.indexOf(name));
        };
        int rows = 0;
        for (const QByteArray &line : lines.mid(1)) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() != columns.size())
                continue;
            ++rows;
            const QString source = QString::fromLatin1(column(fields, "source")).section(QLatin1Char('/'), -1);
            const QByteArray setup = QByteArray::fromHex(column(fields, "setup_hex"));
            QTest::addRow("%s %s %s", column(fields, "kind").constData(), qPrintable(source),
                          column(fields, "frames").constData())
                << QString::fromLatin1(column(fields, "kind")) << (setup.isEmpty() ? DefaultSetup : setup)
                << QByteArray::fromHex(column(fields, "prelude_hex"))
                << QByteArray::fromHex(column(fields, "request_hex")) << QByteArray::fromHex(column(fields, "reply_hex"));
        }
        QVERIFY2(rows > 0, "no pairs in the data file");
    }
    void pair()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, prelude);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        ++tally[kind].total;
        socket.connectToHost(QHostAddress::LocalHost, plc.port());
        QVERIFY(socket.waitForConnected(WaitMs));
        QCOMPARE(exchange(ConnectRequest).size(), 22);
        QCOMPARE(exchange(setup).size(), 27);
        // A follow-up asks for the next unit with the sequence number the
        // CPU gave the first one, as any client does.
        QByteArray listBefore;
        if (!prelude.isEmpty()) {
            const QByteArray first = exchange(prelude);
            listBefore = first.mid(S7Offset + JobHeaderSize + word(first, S7Offset + 6) + ItemHeaderSize);
            request[S7Offset + JobHeaderSize + UserDataSequence] = first.at(S7Offset + JobHeaderSize + UserDataSequence);
        }
        const QStringList expected = describe(reply, listBefore);
        const QStringList actual = describe(exchange(request), listBefore);
        for (int i = 0; i < qMax(expected.size(), actual.size()); ++i)
            QCOMPARE(actual.value(i), expected.value(i));
        ++tally[kind].matched;
    }
};

QTEST_GUILESS_MAIN(TstReplay)
#include "tst_replay.moc"
