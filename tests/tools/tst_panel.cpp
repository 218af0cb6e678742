// The panel's poller and server against a simulated PLC in this process:
// what no page can see, such as a write that waited too long for its turn.
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "PanelPoller.h"
#include "PanelServer.h"
#include "SimPlc.h"

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
    // A write not begun within its time is taken back: answered "not carried
    // out" and never sent later, once the PLC answers again.
    void lateWriteIsTakenBack()
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

        plc.setFault(SimPlc::Fault::Silent);   // the read under way now waits for the driver's time-out
        QTest::qWait(300);
        CLabelVariable result;
        QVERIFY(!poller.write(0, QVariant::fromValue(QList<short>{4321}), 1, &result, 200));
        plc.setFault(SimPlc::Fault::None);
        const int pollAfter = pollOf(poller) + 2;
        QTRY_VERIFY_WITH_TIMEOUT(pollOf(poller) >= pollAfter, kPollWaitMs);
        QCOMPARE(plc.memory(SimPlc::AreaDataBlocks, 1, 0, 2).toHex(), QByteArray("0000"));

        QVERIFY(poller.write(0, QVariant::fromValue(QList<short>{4321}), 1, &result, kPollWaitMs));
        QCOMPARE(result.status, int(StatusOk));
        QCOMPARE(plc.memory(SimPlc::AreaDataBlocks, 1, 0, 2).toHex(), QByteArray("10e1"));
        poller.stop();
        plc.stop();
    }
    // Ctrl-C can come while the server is still starting its listener.
    void stopRightAfterStart()
    {
        PanelServer::Options options;
        options.address = QStringLiteral("127.0.0.1");
        options.port = 0;
        for (int i = 0; i < 20; ++i) {
            PanelServer server(nullptr, {}, options);
            QString error;
            QVERIFY2(server.bind(&error), qPrintable(error));
            server.start();
            server.stop();
        }
    }
};

QTEST_GUILESS_MAIN(TstPanel)
#include "tst_panel.moc"
