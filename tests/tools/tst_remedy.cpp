// The remedy line for each kind of cause (the PUT/GET, missing-block and
// protection lines end to end: tst_cli's causes), and what a failed
// handshake says to try.
#include <QtTest>

#include "Remedy.h"
#include "ResultCodes.h"

using Why = CDriveExtension::Why;
using Options = CDriveExtension::ConnectionOptions;
Q_DECLARE_METATYPE(Options)

class TstRemedy : public QObject
{
    Q_OBJECT

private slots:
    void remedy_data()
    {
        QTest::addColumn<int>("error"); // class in the high byte
        QTest::addColumn<int>("returnCode");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("remedy"); // how it starts; empty: none
        QTest::addRow("item out of range") << 0 << 0x05 << int(StatusBadReply) << "address the tag within";
        QTest::addRow("job address error") << 0x8701 << 0 << int(StatusBadReply) << "address the tag within";
        QTest::addRow("object refused") << 0 << 0x03 << int(StatusBadReply) << "the CPU refuses access to this object";
        QTest::addRow("no reply") << 0 << 0 << int(StatusNoReply) << "check that the PLC is switched on";
        QTest::addRow("type not served") << 0 << 0 << int(StatusTypeNotServed) << "";
    }
    void remedy()
    {
        QFETCH(int, error);
        QFETCH(int, returnCode);
        QFETCH(int, status);
        QFETCH(QString, remedy);
        const Why why{quint8(error >> 8), quint8(error), quint8(returnCode), QString()};
        const QString said = Remedy::of(why, status);
        QVERIFY2(remedy.isEmpty() ? said.isEmpty() : said.startsWith(remedy), qPrintable(said));
    }

    void handshake_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<Options>("asked");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("notSaid");
        QTest::addRow("slot 2 tried") << int(CDriveExtension::ConnectStepRequest) << Options{Options::PG, 0, 2}
                                      << "called TSAP 01.02 (calling 10.00); an S7-400" << "try --slot 2";
        QTest::addRow("TSAPs tried") << int(CDriveExtension::ConnectStepRequest) << Options{3, 0, 0, 0x0300, 0x0200}
                                     << "called TSAP 02.00 (calling 03.00); an S7-300 answers at rack 0, slot 2: try "
                                        "--slot 2; an S7-400" << "";
        QTest::addRow("setup") << int(CDriveExtension::ConnectStepSetup) << Options{3, 0, 0, 0x1000, -1, 960, 8}
                               << "refused the setup of communication (a PDU of 960 bytes and 8 jobs in parallel asked): "
                                  "try --pdu 240 --jobs 1" << "";
    }
    void handshake()
    {
        QFETCH(int, step);
        QFETCH(Options, asked);
        QFETCH(QString, said);
        QFETCH(QString, notSaid);
        const QString text = Remedy::ofConnect(step, asked);
        QVERIFY2(said.isEmpty() ? text.isEmpty() : text.contains(said), qPrintable(text));
        QVERIFY2(notSaid.isEmpty() || !text.contains(notSaid), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TstRemedy)
#include "tst_remedy.moc"
