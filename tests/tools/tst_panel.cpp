// The panel's poller and server against a simulated PLC in this process:
// what no page can see, such as a write that waited too long for its turn,
// and the leaves of a data block over HTTP.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <httplib.h>

#include <future>

#include "PanelPoller.h"
#include "PanelServer.h"
#include "SimPlc.h"
#include "SymbolTable.h"
#include "SymbolTags.h"

namespace {
const int kPollWaitMs = 20000;

TagList::Entry int16At(const char *address)
{
    TagList::Entry e;
    QString error;
    TagSpec::make(QLatin1String(address), QStringLiteral("int16"), QString(), &e.tag, &error);
    e.name = QLatin1String(address);
    return e;
}

int pollOf(const PanelPoller &poller)
{
    const std::shared_ptr<const PanelSnapshot> snap = poller.snapshot();
    if (!snap)
        return -1;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(snap->json)).object();
    return o.value(QStringLiteral("poll")).toInt(-1);
}
} // namespace

class TstPanel : public QObject
{
    Q_OBJECT

private slots:
    // Queued writes are carried out in the order they came; one not begun
    // within its time is taken back: answered "not carried out" and never
    // sent later. Every reply is late, so the writes queue behind a read.
    void queuedWrites()
    {
        SimPlc plc;
        QVERIFY(plc.start());
        PanelPoller::Options options;
        options.endpoint = QStringLiteral("127.0.0.1:%1").arg(plc.port());
        options.intervalMs = 0;
        PanelPoller poller({int16At("DB1.DBW0")}, options);
        QString error;
        QVERIFY2(poller.start(&error), qPrintable(error));
        QTRY_VERIFY_WITH_TIMEOUT(pollOf(poller) > 0, kPollWaitMs);

        plc.setFault(SimPlc::Fault::LateReply, 1500);   // within the driver's reply time-out
        QTest::qWait(300);
        const auto writeLater = [&](short value, int timeoutMs) {
            auto done = std::async(std::launch::async, [&poller, value, timeoutMs] {
                CLabelVariable result;
                return poller.write(0, QVariant::fromValue(QList<short>{value}), 1, &result, timeoutMs)
                       && result.status == StatusOk;
            });
            QTest::qWait(100);   // queued before the next one
            return done;
        };
        auto first = writeLater(1111, kPollWaitMs);
        auto second = writeLater(2222, kPollWaitMs);
        auto late = writeLater(3333, 200);
        QVERIFY(first.get());
        QVERIFY(second.get());
        QVERIFY(!late.get());
        plc.setFault(SimPlc::Fault::None);
        const int pollAfter = pollOf(poller) + 2;
        QTRY_VERIFY_WITH_TIMEOUT(pollOf(poller) >= pollAfter, kPollWaitMs);
        QCOMPARE(plc.memory(SimPlc::AreaDataBlocks, 1, 0, 2).toHex(), QByteArray("08ae"));
        poller.stop();
        plc.stop();
    }
    // Stop ends the pause between polls at once (reconnect waits are the same wait).
    void stopWakesThePoller()
    {
        SimPlc plc;
        QVERIFY(plc.start());
        PanelPoller::Options options;
        options.endpoint = QStringLiteral("127.0.0.1:%1").arg(plc.port());
        options.intervalMs = 60000;   // past kPollWaitMs, within the test's time-out
        PanelPoller poller({int16At("DB1.DBW0")}, options);
        QString error;
        QVERIFY2(poller.start(&error), qPrintable(error));
        QTRY_VERIFY_WITH_TIMEOUT(pollOf(poller) > 0, kPollWaitMs);
        QElapsedTimer stopping;
        stopping.start();
        poller.stop();
        QVERIFY2(stopping.elapsed() < kPollWaitMs, "stop waited for the pause to run out");
        plc.stop();
    }
    // A leaf is shown decoded with its struct and comment, and written as its
    // S7 type, one value, named by its symbol however it is written; a
    // STRING longer than declared is refused before anything is sent.
    void leavesOverHttp()
    {
        SymbolTable table;
        QString error;
        QVERIFY2(table.addSource("DATA_BLOCK \"M\"\n STRUCT\n  name : String[4];   // belt\n  wait : Time;\n"
                                 " END_STRUCT;\nBEGIN\nEND_DATA_BLOCK\n", "m.db", &error)
                     && table.setNumber("M=1", &error) && table.build(&error), qPrintable(error));
        QList<TagList::Entry> entries;
        for (const SymbolLeaf &leaf : table.leaves())
            entries << SymbolTags::entryOf(leaf);
        SimPlc plc;
        QVERIFY(plc.start());
        QVERIFY(plc.setMemory(SimPlc::AreaDataBlocks, 1, 0, QByteArray::fromHex("040261620000" "000004b0")));
        PanelPoller::Options pollerOptions;
        pollerOptions.endpoint = QStringLiteral("127.0.0.1:%1").arg(plc.port());
        pollerOptions.intervalMs = 0;
        PanelPoller poller(entries, pollerOptions);
        PanelServer::Options options{QStringLiteral("127.0.0.1"), 0, true, QStringLiteral("t0k")};
        PanelServer server(&poller, entries, options);
        QVERIFY2(poller.start(&error) && server.bind(&error), qPrintable(error));
        server.start();
        QTRY_VERIFY_WITH_TIMEOUT(pollOf(poller) > 0, kPollWaitMs);
        const QJsonObject name = QJsonDocument::fromJson(QByteArray::fromStdString(poller.snapshot()->json))
                                     .object().value("tags").toArray().at(0).toObject();
        QCOMPARE(name.value("value").toString() + name.value("s7type").toString() + name.value("parent").toString()
                     + name.value("comment").toString(), QStringLiteral("abSTRING[4]\"M\"belt"));

        httplib::Client client("127.0.0.1", server.port());
        const auto post = [&](const char *body) {
            const auto res = client.Post("/api/write", {{"X-Token", "t0k"}}, body, "application/json");
            return res ? res->status : -1;
        };
        QCOMPARE(post(R"({"tag": "m.NAME", "values": ["a,bc"]})"), 200);
        QCOMPARE(post(R"({"index": 1, "values": ["T#2S"]})"), 200);
        QCOMPARE(post(R"({"index": 0, "values": ["abcde"]})"), 400);
        QCOMPARE(post(R"({"index": 1, "values": ["T#1S", "T#2S"]})"), 400);
        QCOMPARE(post(R"({"index": 2, "values": ["T#1S"]})"), 400);   // past the last tag
        QCOMPARE(plc.memory(SimPlc::AreaDataBlocks, 1, 0, 10).toHex(), QByteArray("0404612c6263" "000007d0"));
        poller.beginStop();
        server.stop();
        poller.stop();
        plc.stop();
    }
    // Ctrl-C can come while the server is still starting its listener.
    // Unless told otherwise (--http) it listens on loopback only.
    void stopRightAfterStart()
    {
        PanelServer::Options options;
        options.port = 0;
        for (int i = 0; i < 20; ++i) {
            PanelServer server(nullptr, {}, options);
            QString error;
            QVERIFY2(server.bind(&error), qPrintable(error));
            QVERIFY2(server.url().startsWith(QLatin1String("http://127.0.0.1:")), qPrintable(server.url()));
            server.start();
            server.stop();
        }
    }
};

QTEST_GUILESS_MAIN(TstPanel)
#include "tst_panel.moc"
