// One value literal, every place that takes one: the simulator's control
// port (set), its --preset and --symbols start values, and the tags that
// write, watch and the panel write (by address, and a data-block leaf by
// symbol). Each row's literal gives the same bytes everywhere, or is
// refused everywhere.
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QtTest>

#include "S7Image.h"
#include "S7Type.h"
#include "SimControl.h"
#include "SimPlc.h"
#include "SimSymbols.h"
#include "SymbolTable.h"
#include "SymbolTags.h"

namespace {

constexpr int WaitMs = 5000;

// Where a row's value goes: a bit for a BOOL, else the block's first byte.
QString placeOf(const S7Type &type)
{
    return type.isBool() ? QStringLiteral("DB1.DBX0.0") : QStringLiteral("DB1.DBB0");
}

// The bytes a record's value list holds, as a write through the plug-in sends them.
QByteArray imageOf(const CLabelVariable &record)
{
    QByteArray out;
    ElementTypes::withServedElementType(record.dataType, [&](auto tag) {
        S7Image::encode<typename decltype(tag)::type>(record.value, record.count, &out);
    });
    return out;
}

// The bytes a block's start value gives, or an empty array when refused.
QByteArray startValue(const QString &type, const QString &literal)
{
    const QString source = QStringLiteral("DATA_BLOCK \"D\"\n{ S7_Optimized_Access := 'FALSE' }\n STRUCT\n"
                                          "  x : %1 := %2;\n END_STRUCT;\nBEGIN\nEND_DATA_BLOCK\n").arg(type, literal);
    SymbolTable table;
    QString error;
    QByteArray image;
    if (!table.addSource(source, QStringLiteral("d.db"), &error) || !table.setNumber(QStringLiteral("D=1"), &error)
        || !table.build(&error) || !SimSymbols::image(table.blocks().value(0), &image, &error))
        return QByteArray();
    const SymbolLeaf leaf = table.leaves().value(0);
    return leaf.type.isBool() ? QByteArray(1, char(image.at(0) & 1)) : image.left(leaf.size());
}

// The bytes a write of the leaf by symbol sends, or an empty array when refused.
QByteArray leafWrite(const QString &type, const QString &literal)
{
    SymbolTable table;
    QString error;
    const QString source = QStringLiteral("DATA_BLOCK \"D\"\n{ S7_Optimized_Access := 'FALSE' }\n STRUCT\n"
                                          "  x : %1;\n END_STRUCT;\nBEGIN\nEND_DATA_BLOCK\n").arg(type);
    CLabelVariable record;
    if (!table.addSource(source, QStringLiteral("d.db"), &error) || !table.setNumber(QStringLiteral("D=1"), &error)
        || !table.build(&error)
        || !SymbolTags::writeRecord(SymbolTags::entryOf(table.leaves().value(0)), {literal}, &record, &error))
        return QByteArray();
    return imageOf(record);
}

// The bytes a --preset puts into the running simulator, read back on its
// control port; an empty array when it refuses to start.
QByteArray preset(const S7Type &type, const QString &name, const QString &literal)
{
    QProcess sim;
    sim.start(QStringLiteral(QUILLMARSH_SIM_PROGRAM),
              {"--port", "0", "--control", "0", "--preset", placeOf(type) + ':' + name + '=' + literal});
    QByteArray out;
    const QRegularExpression control(QStringLiteral("control on 127.0.0.1:(\\d+)"));
    while (!control.match(QString::fromLatin1(out)).hasMatch() && sim.waitForReadyRead(WaitMs))
        out += sim.readAllStandardOutput();
    QByteArray answer;
    QTcpSocket socket;
    const int port = control.match(QString::fromLatin1(out)).captured(1).toInt();
    if (port > 0) {
        socket.connectToHost(QHostAddress::LocalHost, quint16(port));
        const QByteArray get = type.isBool() ? "get DB1.DBX0.0\n" : "get DB1.DBB0 " + QByteArray::number(type.size()) + '\n';
        if (socket.waitForConnected(WaitMs) && socket.write(get) > 0)
            while (!socket.canReadLine() && socket.waitForReadyRead(WaitMs)) {}
        answer = socket.readLine().trimmed();
    }
    sim.terminate();
    sim.waitForFinished(WaitMs);
    if (!answer.startsWith("ok "))
        return QByteArray();
    return type.isBool() ? QByteArray(1, char(answer.mid(3).toInt())) : QByteArray::fromHex(answer.mid(3));
}

} // namespace

class TstLiterals : public QObject
{
    Q_OBJECT

private slots:
    void everywhere_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("literal");
        QTest::addColumn<QByteArray>("image"); // empty: refused
        const auto row = [](const char *type, const char *literal, const char *hex) {
            QTest::addRow("%s %s", type, literal) << QString::fromLatin1(type) << QString::fromLatin1(literal)
                                                 << QByteArray::fromHex(hex);
        };
        row("INT", "16#FF", "00ff");
        row("WORD", "W#16#BEEF", "beef");
        row("INT", "INT#-5", "fffb");
        row("DINT", "-2", "fffffffe");
        row("UDINT", "0xDEADBEEF", "deadbeef");
        row("BYTE", "2#1010_0101", "a5");
        row("SINT", "128", "");
        row("UINT", "-1", "");
        row("INT", "T#1S", "");
        row("REAL", "1.5", "3fc00000");
        row("LREAL", "-inf", "fff0000000000000");
        row("REAL", "1e39", "");
        row("BOOL", "TRUE", "01");
        row("BOOL", "2", "");
        row("TIME", "T#1S_200MS", "000004b0");
        row("DATE", "D#2026-12-06", "34b0");
        row("TOD", "TOD#14:30:00.250", "031c833a");
        row("S5TIME", "S5T#1S_200MS", "0120");
        row("STRING[4]", "'ab'", "040261620000");
        row("CHAR", "'A'", "41");
    }
    void everywhere()
    {
        QFETCH(QString, type);
        QFETCH(QString, literal);
        QFETCH(QByteArray, image);
        const S7Type s7 = S7Type::fromName(type);
        QVERIFY(s7.isValid());

        SimPlc plc;
        const QString answer = SimControl(&plc).execute(QStringLiteral("set %1:%2 %3").arg(placeOf(s7), type, literal));
        QCOMPARE(answer.startsWith(QLatin1String("ok")), !image.isEmpty());
        const QByteArray memory = plc.memory(SimPlc::AreaDataBlocks, 1, 0, qMax(1, s7.size()));
        if (!image.isEmpty())
            QCOMPARE(s7.isBool() ? QByteArray(1, char(memory.at(0) & 1)).toHex() : memory.toHex(), image.toHex());

        QCOMPARE(preset(s7, type, literal).toHex(), image.toHex());
        QCOMPARE(startValue(type, literal).toHex(), image.toHex());
        QCOMPARE(leafWrite(type, literal).toHex(), image.toHex());

        // A tag by address: the plug-in's types only.
        const DataType served = S7Type::servedTypeOf(type);
        if (served == NoType)
            return;
        TagList::Entry entry;
        entry.tag.address = placeOf(s7);
        entry.tag.type = served;
        CLabelVariable record;
        QString error;
        const bool written = SymbolTags::writeRecord(entry, {literal}, &record, &error);
        QCOMPARE(written ? imageOf(record).toHex() : QByteArray(), image.toHex());
    }
};

QTEST_GUILESS_MAIN(TstLiterals)
#include "tst_literals.moc"
