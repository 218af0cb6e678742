// The plug-in loader: a plug-in that needs another Qt's QtCore is refused
// before it is loaded, with a message that names both Qt.
#include <QTemporaryFile>
#include <QtTest>

#include "DriverPlugin.h"

class TstDriverPlugin : public QObject
{
    Q_OBJECT

private slots:
    void otherQtRefused_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<bool>("loads");
        QTest::addRow("Qt 5") << 5 << (QT_VERSION_MAJOR == 5);
        QTest::addRow("Qt 6") << 6 << (QT_VERSION_MAJOR == 6);
    }
    void otherQtRefused()
    {
        QFETCH(int, major);
        QFETCH(bool, loads);
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(QByteArray(64, '\0') + QStringLiteral("libQt%1Core.so.%1").arg(major).toLatin1());
        file.close();
        DriverPlugin other(file.fileName());
        QVERIFY(!other.load());
        // A file of this host's Qt gets as far as the loader, which finds no ELF.
        QCOMPARE(other.errorString().contains(QStringLiteral("built against Qt %1").arg(major)), !loads);
    }
};

QTEST_GUILESS_MAIN(TstDriverPlugin)
#include "tst_driverplugin.moc"
