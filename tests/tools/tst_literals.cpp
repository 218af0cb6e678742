// One value literal, every place that takes one: the simulator's control
// port (set), its --preset and --symbols start values (the program itself),
// and the tags that write, watch and the panel write (by address, and a
// data-block leaf by symbol). Each row's literal gives the same bytes
// everywhere, or is refused everywhere.
#include <QTemporaryDir>
#include <QtTest>

#include "S7Image.h"
#include "S7Type.h"
#include "SimControl.h"
#include "SimPlc.h"
#include "SimRun.h"
#include "SymbolTable.h"
#include "SymbolTags.h"

namespace {

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

// A source whose one data block "D" holds the member.
QString blockSource(const QString &member)
{
    return QStringLiteral("DATA_BLOCK \"D\"\n{ S7_Optimized_Access := 'FALSE' }\n STRUCT\n  %1\n END_STRUCT;\n"
                          "BEGIN\nEND_DATA_BLOCK\n").arg(member);
}

// The bytes a write of the leaf by symbol sends, or an empty array when refused.
QByteArray leafWrite(const QString &type, const QString &literal)
{
    SymbolTable table;
    QString error;
    CLabelVariable record;
    if (!table.addSource(blockSource(QStringLiteral("x : %1;").arg(type)), QStringLiteral("d.db"), &error)
        || !table.setNumber(QStringLiteral("D=1"), &error) || !table.build(&error)
        || !SymbolTags::writeRecord(SymbolTags::entryOf(table.leaves().value(0)), {literal}, &record, &error))
        return QByteArray();
    return imageOf(record);
}

// The bytes the simulator serves at the row's place when started with
// these options, read back on its control port; an empty array when it
// refuses to start.
QByteArray served(const S7Type &type, const QStringList &options)
{
    SimRun sim;
    QTcpSocket control;
    if (!sim.start(QStringList{"--control", "0"} + options) || !sim.connectControl(control))
        return QByteArray();
    const QString get = type.isBool() ? placeOf(type) : placeOf(type) + QStringLiteral(" %1").arg(type.size());
    const QString answer = SimRun::converse(control, "get " + get.toLatin1() + '\n', 1).value(0);
    if (!answer.startsWith(QLatin1String("ok ")))
        return QByteArray();
    return type.isBool() ? QByteArray(1, char(answer.mid(3).toInt())) : QByteArray::fromHex(answer.mid(3).toLatin1());
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
        row("UDINT", "0xDEADBEEF", "deadbeef");
        row("SINT", "128", "");
        row("INT", "T#1S", "");
        row("REAL", "1.5", "3fc00000");
        row("REAL", "1e39", "");
        row("BOOL", "TRUE", "01");
        row("TIME", "T#1S_200MS", "000004b0");
        row("DATE", "D#2026-12-06", "34b0");
        row("STRING[4]", "'ab'", "040261620000");
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

        const QString preset = placeOf(s7) + QLatin1Char(':') + type + QLatin1Char('=') + literal;
        QCOMPARE(served(s7, {"--preset", preset}).toHex(), image.toHex());
        QTemporaryDir dir;
        QFile source(dir.filePath(QStringLiteral("d.db")));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write(blockSource(QStringLiteral("x : %1 := %2;").arg(type, literal)).toUtf8());
        source.close();
        QCOMPARE(served(s7, {"--symbols", source.fileName(), "--number", "D=1"}).toHex(), image.toHex());

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
