// The extension without a socket: connection requests, multi-item requests
// and the verdicts on their replies, user data, system state lists, reasons;
// which job a reply answers, and that a lying reply fails its job alone. Rows marked "CPU 315"
// are frames of a real S7-300 (../shared/real-cpu/s7-300.tsv).
#include <QtTest>

#include <functional>

#include "S7ConnectFrames.h"
#include "S7ItemFrames.h"
#include "S7Reasons.h"
#include "S7SystemLists.h"
#include "S7UserDataFrames.h"
#include "TagBatch.h"

namespace {

using Options = CDriveExtension::ConnectionOptions;
using Item = S7ItemFrames::Item;

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// An ack-data reply frame around its parameter and data blocks.
QByteArray ackData(quint16 reference, quint16 error, const QByteArray &params, const QByteArray &data)
{
    QByteArray frame = hex("03 00 00 00 02 f0 80 32 03 00 00");
    frame.append(char(reference >> 8)).append(char(reference));
    frame.append(char(params.size() >> 8)).append(char(params.size()));
    frame.append(char(data.size() >> 8)).append(char(data.size()));
    frame.append(char(error >> 8)).append(char(error));
    frame += params + data;
    frame[2] = char(frame.size() >> 8);
    frame[3] = char(frame.size());
    return frame;
}

// A marker byte, four and two bytes of DB1: the shapes of the CPU 315's
// multi-item replies (an odd item followed by its fill byte).
const QVector<Item> ThreeItems{{0x83, 0, 1, 1}, {0x84, 1, 8, 4}, {0x84, 1, 0, 2}}; // area, block, byte, length

// The reply a PLC gives to the read job: every byte 0x11.
QByteArray goodReply(quint16 reference, const BatchPlan::Job &job)
{
    QByteArray data;
    for (int i = 0; i < job.items.size(); ++i) {
        const int n = job.items.at(i).length;
        data += hex("ff 04") + char(n * 8 >> 8) + char(n * 8) + QByteArray(n, '\x11');
        if (n % 2 && i + 1 < job.items.size())
            data += '\0';
    }
    return ackData(reference, 0, QByteArray(1, '\x04') + char(job.items.size()), data);
}

using Lie = std::function<S7JobPipe::Outcome(S7JobPipe::Outcome)>;
// A reply changed in place, its TPKT length kept true.
Lie changed(std::function<void(QByteArray &)> change)
{
    return [change](S7JobPipe::Outcome o) {
        change(o.reply);
        o.reply[2] = char(o.reply.size() >> 8);
        o.reply[3] = char(o.reply.size());
        return o;
    };
}

} // namespace

Q_DECLARE_METATYPE(Options)
Q_DECLARE_METATYPE(Lie)

class TstS7Extension : public QObject
{
    Q_OBJECT

private slots:
    // The connection request as options shape it; options out of range
    // are refused (no frame in the row).
    void connectRequest_data()
    {
        QTest::addColumn<Options>("options");
        QTest::addColumn<QByteArray>("frame");
        const QByteArray front = hex("03 00 00 16 11 e0 00 00 00 01 00");
        // type, rack, slot, calling TSAP, called TSAP, PDU, jobs, order
        QTest::addRow("S7-300, rack 0 slot 2") << Options{3, 0, 2} << front + hex("c0 01 0a c1 02 10 00 c2 02 03 02");
        QTest::addRow("PG to rack 1 slot 3") << Options{1, 1, 3} << front + hex("c0 01 0a c1 02 10 00 c2 02 01 23");
        QTest::addRow("OP, highest rack and slot") << Options{2, 7, 31} << front + hex("c0 01 0a c1 02 10 00 c2 02 02 ff");
        // A given called TSAP wins over rack and slot.
        QTest::addRow("both TSAPs, C1 C2 C0") << Options{3, 0, 5, 0x0300, 0x0200, 960, 1, Options::TsapsFirst}
                                              << front + hex("c1 02 03 00 c2 02 02 00 c0 01 0a");
        QTest::addRow("PDU 239") << Options{3, 0, 0, 0x1000, -1, 239} << QByteArray();
        QTest::addRow("PDU 961") << Options{3, 0, 0, 0x1000, -1, 961} << QByteArray();
        QTest::addRow("rack 8") << Options{3, 8, 0} << QByteArray();
        QTest::addRow("slot 32") << Options{3, 0, 32} << QByteArray();
        QTest::addRow("type 4") << Options{4, 0, 0} << QByteArray();
        QTest::addRow("called TSAP 0x10000") << Options{3, 0, 0, 0x1000, 0x10000} << QByteArray();
        QTest::addRow("calling TSAP -1") << Options{3, 0, 0, -1} << QByteArray();
        QTest::addRow("no jobs") << Options{3, 0, 0, 0x1000, -1, 960, 0} << QByteArray();
        QTest::addRow("order 2") << Options{3, 0, 0, 0x1000, -1, 960, 1, 2} << QByteArray();
    }
    void connectRequest()
    {
        QFETCH(Options, options);
        QFETCH(QByteArray, frame);
        QCOMPARE(S7ConnectFrames::valid(options), !frame.isEmpty());
        if (!frame.isEmpty())
            QCOMPARE(S7ConnectFrames::connectRequest(options).toHex(' '), frame.toHex(' '));
    }

    void setupRequest()
    {
        QCOMPARE(S7ConnectFrames::setupCommunication(Options{3, 0, 0, 0x1000, -1, 480, 8}).toHex(' '),
                 hex("03 00 00 19 02 f0 80 32 01 00 00 cc c1 00 08 00 00 f0 00 00 08 00 08 01 e0").toHex(' '));
    }

    void setupReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("read");
        QTest::addColumn<int>("pdu");
        QTest::addColumn<int>("calling");
        QTest::addColumn<int>("called");
        QTest::addRow("CPU 315, AmQ 1/2") << hex("0300001b02f080320300000001000800000000f0000001000200f0") << true << 240 << 1 << 2;
        QTest::addRow("error class") << hex("0300001b02f080320300000001000800008104f0000001000200f0") << false << 0 << 0 << 0;
    }
    void setupReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, read);
        CDriveExtension::Negotiated granted;
        QCOMPARE(S7ConnectFrames::readSetupReply(reply, &granted), read);
        QTEST(granted.pduSize, "pdu");
        QTEST(granted.parallelJobsCalling, "calling");
        QTEST(granted.parallelJobsCalled, "called");
    }

    void itemRequests()
    {
        QCOMPARE(S7ItemFrames::readRequest(0x0102, ThreeItems).toHex(' '),
                 hex("03 00 00 37 02 f0 80 32 01 00 00 01 02 00 26 00 00 04 03"
                     " 12 0a 10 02 00 01 00 00 83 00 00 08 12 0a 10 02 00 04 00 01 84 00 00 40"
                     " 12 0a 10 02 00 02 00 01 84 00 00 00").toHex(' '));
        // A bit, then three bytes: the bit's data item is followed by a
        // fill byte, as the CPU 315's bit writes are laid out.
        const QVector<Item> writes{{0x83, 0, 1, 1, 3, hex("01")}, {0x84, 0, 10, 3, -1, hex("aa bb cc")}};
        QCOMPARE(S7ItemFrames::writeRequest(0x0203, writes).toHex(' '),
                 hex("03 00 00 38 02 f0 80 32 01 00 00 02 03 00 1a 00 0d 05 02"
                     " 12 0a 10 01 00 01 00 00 83 00 00 0b 12 0a 10 02 00 03 00 01 84 00 00 50"
                     " 00 03 00 01 01 00 00 04 00 18 aa bb cc").toHex(' '));
    }

    void readReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("codes");
        QTest::addColumn<QByteArray>("data");
        const QByteArray params = hex("04 03");
        const QByteArray one = hex("ff 04 00 08 aa 00"), four = hex("ff 04 00 20 aa bb cc dd"), two = hex("ff 04 00 10 ba be");
        auto row = [&](const char *name, const QByteArray &reply, int result, const char *codes = "", const char *data = "") {
            QTest::addRow("%s", name) << reply << result << hex(codes) << hex(data);
        };
        row("three items", ackData(7, 0, params, one + four + two), JobOk, "ff ff ff", "aa aabbccdd babe");
        row("octet string", ackData(7, 0, params, one + hex("ff 09 00 04 aa bb cc dd") + two), JobOk, "ff ff ff",
            "aa aabbccdd babe");
        row("absent block refuses its item", ackData(7, 0, params, one + hex("0a 00 00 00") + two), JobOk,
            "ff 0a ff", "aa babe");
        row("refused item with a length but no data", ackData(7, 0, params, one + hex("05 00 00 04") + two), JobOk,
            "ff 05 ff", "aa babe");
        row("no fill byte", ackData(7, 0, params, one.left(5) + four + two), JobBadReply);
        row("item length differs", ackData(7, 0, params, one + hex("ff 04 00 18 aa bb cc 00") + two), JobBadReply);
        row("length not whole bytes", ackData(7, 0, params, one + hex("ff 04 00 1f aa bb cc dd") + two), JobBadReply);
    }
    void readReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, codes);
        QFETCH(QByteArray, data);
        const S7ItemFrames::Verdict verdict = S7ItemFrames::judgeReadReply(reply, 7, ThreeItems);
        QTEST(verdict.result, "result");
        QByteArray gotCodes, gotData;
        for (const S7ItemFrames::ItemResult &r : verdict.items) {
            gotCodes.append(char(r.returnCode));
            gotData.append(r.data);
        }
        QCOMPARE(gotCodes.toHex(' '), codes.toHex(' '));
        QCOMPARE(gotData.toHex(' '), data.toHex(' '));
    }

    void writeReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("codes");
        QTest::addColumn<int>("error");
        // CPU 315: five items, three written, two refused (timers and counters).
        QTest::addRow("CPU 315 write-N") << hex("0300001a02f080320300001a000002000500000505ffffff0303") << int(JobOk)
                                          << hex("ff ff ff 03 03") << 0;
        QTest::addRow("four codes") << ackData(0x1a00, 0, hex("05 05"), hex("ff ff ff 03")) << int(JobBadReply) << QByteArray() << 0;
        QTest::addRow("job refused") << ackData(0x1a00, 0x8500, QByteArray(), QByteArray()) << int(JobBadReply)
                                     << QByteArray() << 0x8500;
    }
    void writeReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, codes);
        const S7ItemFrames::Verdict verdict = S7ItemFrames::judgeWriteReply(reply, 0x1a00, 5);
        QTEST(verdict.result, "result");
        QTEST(verdict.errorClass << 8 | verdict.errorCode, "error");
        QByteArray got;
        for (const S7ItemFrames::ItemResult &r : verdict.items)
            got.append(char(r.returnCode));
        QCOMPARE(got.toHex(' '), verdict.result == JobOk ? codes.toHex(' ') : QByteArray());
    }

    void userDataRequests()
    {
        // CPU 315: the requests its clients send, byte for byte.
        QCOMPARE(S7UserDataFrames::szlRequest(0x0100, 0x0011, 0).toHex(),
                 QByteArray("0300002102f080320700000100000800080001120411440100ff09000400110000"));
        QCOMPARE(S7UserDataFrames::szlFollowUp(0x0300, 0x02).toHex(),
                 QByteArray("0300002102f080320700000300000c00040001120812440102000000000a000000"));
        QCOMPARE(S7UserDataFrames::clockRequest(0x1600).toHex(),
                 QByteArray("0300001d02f0803207000016000008000400011204114701000a000000"));
    }

    void userDataReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("reference");
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("last");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("dataSize");
        const QByteArray firstUnit = hex("030000f702f080320700000200000c00da0001120812840102d5010000ff0900d6") + QByteArray(0xd6, 'x');
        QTest::addRow("CPU 315: first of two units") << firstUnit << 0x0200 << 4 << int(JobOk) << false << 0 << 0xd6;
        QTest::addRow("CPU 315: no such index")
            << hex("0300002102f080320700006400000c000400011208128401030000d4020a000000") << 0x6400 << 4 << int(JobBadReply)
            << true << 0xd402 << 0;
        QTest::addRow("CPU 315: clock")
            << hex("0300002b02f080320700001600000c000e000112081287010200000000ff09000a00191602081451379162") << 0x1600 << 7
            << int(JobOk) << true << 0 << 10;
        QTest::addRow("ack-data refusal") << ackData(5, 0x8104, QByteArray(), QByteArray()) << 5 << 4 << int(JobBadReply)
                                          << true << 0x8104 << 0;
    }
    void userDataReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, reference);
        QFETCH(int, group);
        const S7UserDataFrames::Answer answer = S7UserDataFrames::judgeReply(reply, quint16(reference), quint8(group), 1);
        QTEST(answer.result, "result");
        QTEST(answer.lastUnit, "last");
        QTEST(int(answer.error), "error");
        QTEST(int(answer.data.size()), "dataSize");
    }

    void identity()
    {
        // CPU 315: 0x0011 and 0x001C.
        const QByteArray modules = hex(
            "00110000001c0004000136455337203331352d32454831342d304142302000c000030001000636455337203331352d3245483134"
            "2d304142302000c0000300010007202020202020202020202020202020202020202000c0560302070081426f6f74204c6f616465"
            "72202020202020202020000041200909");
        // Its first data unit: the records up to the module type name.
        const QByteArray components = hex(
            "001c00000022000a000153373330302f45543230304d2073746174696f6e5f31000000000000000000000002504c435f31000000"
            "00000000000000000000000000000000000000000000000000030000000000000000000000000000000000000000000000000000"
            "00000000000000044f726967696e616c205369656d656e732045717569706d656e7400000000000000055320432d423155333933"
            "313432303131000000000000000000000000000000000007435055203331352d3220504e2f445000000000000000000000000000"
            "000000000008");
        CDriveExtension::CpuIdentity id;
        QVERIFY(S7SystemLists::identity(modules, components, &id));
        QCOMPARE(QStringList({id.orderNumber, id.firmwareVersion, id.moduleName, id.serialNumber, id.moduleTypeName}),
                 QStringList({"6ES7 315-2EH14-0AB0", "V3.2.7", "PLC_1", "S C-B1U393142011", "CPU 315-2 PN/DP"}));
        // A list cut within its records gives the whole ones only.
        QVERIFY(S7SystemLists::identity(modules.left(8 + 28 + 27), components, &id));
        QVERIFY(!S7SystemLists::identity(modules.left(7), components, &id));
    }

    void clock_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QDateTime>("time");
        QTest::addRow("CPU 315") << hex("00 19 16 02 08 14 51 37 91 62") << QDateTime(QDate(2016, 2, 8), QTime(14, 51, 37, 916));
        QTest::addRow("1999") << hex("00 19 99 12 31 23 59 59 99 97") << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 999));
        QTest::addRow("not BCD") << hex("00 20 16 0a 08 14 51 37 91 62") << QDateTime();
        QTest::addRow("February 30") << hex("00 20 16 02 30 14 51 37 91 62") << QDateTime();
    }
    void clock()
    {
        QFETCH(QByteArray, data);
        QFETCH(QDateTime, time);
        QDateTime got;
        QCOMPARE(S7SystemLists::clock(data, &got), time.isValid());
        QCOMPARE(got, time);
    }

    // The why of a job of ReadVariable or WriteVariable, from its result and reply.
    void singleJobWhy_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("returnCode");
        QTest::addColumn<QString>("text");
        QTest::addRow("PUT/GET access off") << int(JobBadReply) << ackData(1, 0x8104, QByteArray(), QByteArray())
                                            << 0x8104 << 0 << "PUT/GET access is off";
        QTest::addRow("absent block") << int(JobBadReply) << ackData(1, 0, hex("04 01"), hex("0a 00 00 00"))
                                      << 0 << 0x0a << "object does not exist";
        QTest::addRow("second bit refused") << int(JobBadReply) << ackData(1, 0, hex("05 02"), hex("ff 03"))
                                            << 0 << 0x03 << "access to the object not allowed";
        QTest::addRow("too short") << int(JobBadReply) << hex("03 00 00 07 02 f0 80") << 0 << 0 << "does not match";
        QTest::addRow("no reply") << int(JobNoReply) << QByteArray() << 0 << 0 << "no reply within 2000 ms";
        QTest::addRow("not connected") << int(JobNotConnected) << QByteArray() << 0 << 0 << "not connected";
        QTest::addRow("done") << int(JobOk) << ackData(1, 0, hex("04 01"), hex("ff 04 00 08 01")) << 0 << 0 << QString();
    }
    void singleJobWhy()
    {
        QFETCH(int, result);
        QFETCH(QByteArray, reply);
        QFETCH(QString, text);
        const CDriveExtension::Why why = S7Reasons::ofSingleJob(result, reply);
        QTEST(why.errorClass << 8 | why.errorCode, "error");
        QTEST(int(why.returnCode), "returnCode");
        QVERIFY2(text.isEmpty() ? why.text.isEmpty() : why.text.contains(text), qPrintable(why.text));
    }

    void lyingReply_data()
    {
        QTest::addColumn<Lie>("lie");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("errorClass");
        QTest::addColumn<QString>("text");
        QTest::addRow("short") << changed([](QByteArray &r) { r.chop(1); }) << 7 << 0 << "frame layers";
        QTest::addRow("long") << changed([](QByteArray &r) { r += '\0'; }) << 7 << 0 << "frame layers";
        QTest::addRow("wrong reference") << changed([](QByteArray &r) { r[12] = char(r.at(12) ^ 0x40); }) << 7 << 0
                                         << "PDU reference of another job";
        QTest::addRow("wrong item count") << changed([](QByteArray &r) { r[20] = char(r.at(20) - 1); }) << 7 << 0
                                          << "item count differs";
        QTest::addRow("wrong transport size") << changed([](QByteArray &r) { r[22] = 0x03; }) << 7 << 0
                                              << "transport size";
        QTest::addRow("PUT/GET access off")
            << Lie([](S7JobPipe::Outcome o) { o.reply = ackData(o.pduReference, 0x8104, {}, {}); return o; }) << 7
            << 0x81 << "PUT/GET access is off";
        QTest::addRow("no frame") << Lie([](S7JobPipe::Outcome o) { o.result = JobBadReply; return o; }) << 7 << 0
                                  << "bytes that are no frame";
        QTest::addRow("no reply") << Lie([](S7JobPipe::Outcome o) { o.result = JobNoReply; return o; }) << 8 << 0
                                  << "no reply within 2000 ms";
    }
    void lyingReply()
    {
        QFETCH(Lie, lie);
        QFETCH(int, status);
        QFETCH(QString, text);
        QVector<BatchPlan::Piece> pieces;
        for (int i = 0; i < 30; ++i) // 30 items 40 bytes apart: 19 and 11 at PDU 240
            pieces.append({i, 0x84, 1, i * 40, i % 2 + 1});
        const BatchPlan plan = BatchPlan::forReads(pieces, 240, true);
        QCOMPARE(plan.jobs.size(), 2);
        const QVector<S7JobPipe::Outcome> outcomes{{JobOk, 1, goodReply(1, plan.jobs.at(0))},
                                                   lie({JobOk, 2, goodReply(2, plan.jobs.at(1))})};
        QVector<QByteArray> bytes;
        const auto segments = TagBatch::judge(plan, false, outcomes, &bytes);
        for (int j = 0; j < 2; ++j) {
            for (const BatchPlan::Place &place : plan.jobs.at(j).places) {
                const TagBatch::Segment &s = segments.at(place.range).first();
                QCOMPARE(s.status, j == 1 ? status : int(StatusOk));
                if (j == 1) {
                    QTEST(int(s.why.errorClass), "errorClass");
                    QVERIFY2(s.why.text.contains(text), qPrintable(s.why.text));
                } else {
                    QCOMPARE(bytes.at(place.range), QByteArray(plan.ranges.at(place.range).length, '\x11'));
                }
            }
        }
    }

    // Which job a reply answers: the one its PDU reference names; a reply
    // naming none goes to the one job waiting, unless it may be late.
    void replyOwner_data()
    {
        QTest::addColumn<int>("reference");
        QTest::addColumn<int>("waitingJobs");
        QTest::addColumn<int>("owner");
        QTest::addRow("its own job") << 2 << 2 << 1;
        QTest::addRow("no job of ours, one waiting") << 9 << 1 << 0;
        QTest::addRow("no job of ours, two waiting") << 9 << 2 << -1;
        QTest::addRow("a late reply, one waiting") << 7 << 1 << -1;
    }
    void replyOwner()
    {
        QFETCH(int, reference);
        QFETCH(int, waitingJobs);
        QHash<quint16, int> waiting;
        for (int job = 0; job < waitingJobs; ++job)
            waiting.insert(quint16(job + 1), job);
        QTEST(S7JobPipe::ownerOf(quint16(reference), waiting, {7, 8}), "owner");
    }
};

QTEST_APPLESS_MAIN(TstS7Extension)
#include "tst_s7extension.moc"
