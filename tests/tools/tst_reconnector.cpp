// When a polling command counts its PLC as gone, and how its reconnect
// attempts back off, against a driver whose connect answers are scripted.
#include <QtTest>

#include "CDriveBaseClass.h"
#include "Reconnector.h"

namespace {
class ScriptedDriver : public CDriveBaseClass
{
public:
    QList<int> connectResults;   // taken one per ConnectDrive; refused when empty
    int connects = 0;

    int ConnectDrive(QString) override
    {
        ++connects;
        return connectResults.isEmpty() ? int(ConnectTimeout) : connectResults.takeFirst();
    }
    QString getDriveName() override { return QString(); }
    QString getversion_number() override { return QString(); }
    QString DebugCmd(EDebugCmdType) override { return QString(); }
    void SetConnectPar(QString) override {}
    int DisConnectDrive() override { return ReleaseDone; }
    CLabelVariable ReadVariable(QString, DataType) override { return CLabelVariable(); }
    CLabelVariable ReadVariable(QString, DataType, int) override { return CLabelVariable(); }
    CLabelVariable WriteVariable(QString, DataType, CLabelVariable) override { return CLabelVariable(); }
    CLabelVariable WriteVariable(QString, DataType, CLabelVariable, int) override { return CLabelVariable(); }
    int DestroyFree() override { return ReleaseDone; }
};
} // namespace

class TstReconnector : public QObject
{
    Q_OBJECT

private slots:
    void lostAfter_data()
    {
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<bool>("connected");
        QTest::addRow("reads ok") << QList<int>{StatusOk, StatusOk} << true;
        QTest::addRow("not connected once") << QList<int>{StatusOk, StatusNotConnected} << false;
        QTest::addRow("one read without answer") << QList<int>{StatusNoReply} << true;
        QTest::addRow("two reads without answer") << QList<int>{StatusOk, StatusNoReply, StatusNoReply} << false;
        QTest::addRow("answers in between") << QList<int>{StatusNoReply, StatusOk, StatusNoReply} << true;
        QTest::addRow("bad replies") << QList<int>{StatusBadReply, StatusBadReply, StatusBadAddress} << true;
    }
    void lostAfter()
    {
        QFETCH(QList<int>, statuses);
        QFETCH(bool, connected);
        ScriptedDriver driver;
        Reconnector link(&driver, QStringLiteral("127.0.0.1:102"));
        for (int s : statuses)
            link.note(s);
        QCOMPARE(link.connected(), connected);
        QCOMPARE(driver.connects, 0);   // noting never connects by itself
    }
    void backsOffThenResumes()
    {
        ScriptedDriver driver;
        driver.connectResults = {ConnectTimeout, ConnectHandshakeFailed, ConnectTimeout, ConnectTimeout,
                                 ConnectTimeout, ConnectTimeout, ConnectOk};
        Reconnector link(&driver, QStringLiteral("127.0.0.1:102"));
        link.note(StatusNotConnected);
        QList<int> waits;
        while (!link.connected() && driver.connects < 10) {
            waits << link.waitMs();
            link.reconnect();
        }
        QCOMPARE(waits, (QList<int>{500, 1000, 2000, 4000, 5000, 5000, 5000}));
        QVERIFY(link.connected());
        QCOMPARE(link.attempts(), 0);
        QCOMPARE(link.waitMs(), 500);   // the next loss starts over
        QCOMPARE(link.stateText(), QStringLiteral("connected to 127.0.0.1:102"));
    }
};

QTEST_GUILESS_MAIN(TstReconnector)
#include "tst_reconnector.moc"
