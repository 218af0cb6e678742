// What a batch makes of its jobs' replies, without a socket: which job a
// reply answers, and that a reply that does not add up, or refuses its job,
// fails the ranges of that job alone, with the cause, while the other job's
// bytes arrive.
#include <QtTest>

#include <functional>

#include "TagBatch.h"

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray ackData(quint16 reference, quint16 error, const QByteArray &params, const QByteArray &data)
{
    QByteArray f = hex("03 00 00 00 02 f0 80 32 03 00 00");
    for (int n : {int(reference), int(params.size()), int(data.size()), int(error)})
        f.append(char(n >> 8)).append(char(n));
    f += params + data;
    f[2] = char(f.size() >> 8);
    f[3] = char(f.size());
    return f;
}

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

Q_DECLARE_METATYPE(Lie)

class TstTagBatch : public QObject
{
    Q_OBJECT

private slots:
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
        QVector<S7JobPipe::Outcome> outcomes;
        for (int j = 0; j < 2; ++j)
            outcomes.append({JobOk, quint16(j + 1), goodReply(quint16(j + 1), plan.jobs.at(j))});
        outcomes[1] = lie(outcomes.at(1));
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

QTEST_APPLESS_MAIN(TstTagBatch)
#include "tst_tagbatch.moc"
