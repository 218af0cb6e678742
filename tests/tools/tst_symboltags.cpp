// Symbols in the polling commands' tag lists, turned into their leaves, and
// the bytes the simulated PLC starts a block from its source with.
#include <QtTest>

#include "S7Type.h"
#include "SimSymbols.h"
#include "SymbolLeaf.h"
#include "SymbolTable.h"
#include "SymbolTags.h"

namespace {
const char kSource[] =
    "TYPE \"Pair\"\n STRUCT\n  On : Bool;\n  Speed : Real := 1.5;\n END_STRUCT;\nEND_TYPE\n"
    "DATA_BLOCK \"M\"\n{ S7_Optimized_Access := 'FALSE' }\n STRUCT\n"
    "  a : Bool; b : Bool := TRUE; mode : Int := 3; name : String[4]; tag : String[3] := 'ab';\n"
    "  stamp : Date_And_Time; pair : Array[1..2] of \"Pair\"; level : Array[0..1] of Int;\n"
    " END_STRUCT;\nBEGIN\n  mode := -2;\n  pair[2].On := TRUE;\nEND_DATA_BLOCK\n";

bool load(SymbolTable *table, QString *error)
{
    return table->addSource(QString::fromLatin1(kSource), QStringLiteral("m.db"), error)
        && table->setNumber(QStringLiteral("M=5"), error) && table->build(error);
}
} // namespace

class TstSymbolTags : public QObject
{
    Q_OBJECT

private slots:
    void tagLines_data()
    {
        QTest::addColumn<QString>("lines");
        QTest::addColumn<bool>("sources");
        QTest::addColumn<QStringList>("titles");   // of the leaves, or the error
        QTest::addRow("a leaf") << "M.mode" << true << QStringList{"\"M\".mode"};
        QTest::addRow("a leaf, labelled") << "\"M\".mode,,, Mode, main" << true << QStringList{"Mode, main"};
        QTest::addRow("a struct, labelled") << "m.PAIR[2],,,Right" << true << QStringList{"Right.On", "Right.Speed"};
        QTest::addRow("an array, labelled") << "M.level,,,Lvl" << true << QStringList{"Lvl[0]", "Lvl[1]"};
        QTest::addRow("beside an address line") << "M.pair[1].On\nM0,int8,,Byte" << true
                                                << QStringList{"\"M\".pair[1].On", "Byte"};
        QTest::addRow("no sources") << "M0,int8\nM.mode" << false
                                    << QStringList{"f.csv:2: 'M.mode' has no type: address,type[,count[,label]], or a symbol"};
        QTest::addRow("a count") << "M.mode,,2" << true << QStringList{"f.csv:1: symbol 'M.mode' takes no count"};
        QTest::addRow("no such member") << "\n\nM.nope" << true << QStringList{"f.csv:3: data block \"M\" has no member nope"};
    }
    void tagLines()
    {
        QFETCH(QString, lines);
        QFETCH(bool, sources);
        QFETCH(QStringList, titles);
        SymbolTable table;
        QString error;
        QVERIFY2(load(&table, &error), qPrintable(error));
        QList<TagList::Entry> entries;
        if (!TagList::parseFile(lines, QStringLiteral("f.csv"), sources, &entries, &error)
            || !SymbolTags::expand(table, &entries, &error)) {
            QVERIFY2(error.startsWith(titles.first()), qPrintable(error));
            return;
        }
        QStringList got;
        for (const TagList::Entry &e : entries)
            got << e.title();
        QCOMPARE(got, titles);
    }
    // A leaf reads as the plug-in's type, or as the bytes of S7's own type
    // (no trend); its values are written as its S7 type.
    void leafEntries()
    {
        SymbolTable table;
        QString error;
        QVERIFY2(load(&table, &error), qPrintable(error));
        QList<TagList::Entry> entries;
        QVERIFY(TagList::collect({"M.mode", "M.tag"}, QString(), true, &entries, &error));
        QVERIFY2(SymbolTags::expand(table, &entries, &error), qPrintable(error));
        const TagList::Entry &mode = entries.at(0);
        const TagList::Entry &text = entries.at(1);
        QCOMPARE(mode.tag.address + QLatin1Char(' ') + S7Type::servedName(mode.tag.type), QStringLiteral("DB5.DBW2 Int16"));
        QVERIFY(mode.hasTrend());
        QCOMPARE(text.tag.address + QStringLiteral(" %1").arg(text.tag.count), QStringLiteral("DB5.DBB10 5"));
        QVERIFY(!text.hasTrend());
        CLabelVariable record;
        QVERIFY2(SymbolTags::writeRecord(text, {"x,y"}, &record, &error), qPrintable(error));
        record.status = StatusOk;
        QCOMPARE(SymbolTags::text(text, record), QStringLiteral("x,y"));
        QCOMPARE(QString::fromStdString(SymbolTags::values(text, record).dump()), QStringLiteral("[\"x,y\"]"));
    }
    // Declared and BEGIN values where the source gives them; else zero, a
    // STRING's maximum length, DATE_AND_TIME's first day.
    void simulatorImage()
    {
        SymbolTable table;
        QString error;
        QVERIFY2(load(&table, &error), qPrintable(error));
        const SymbolTable::Block block = table.blocks().value(0);
        QCOMPARE(block.size, 40);
        QByteArray image;
        QVERIFY2(SimSymbols::image(block, &image, &error), qPrintable(error));
        QCOMPARE(image.toHex(), QByteArray("0200" "fffe" "040000000000" "0302616200" "00"
                                           "9001010000000002" "00003fc00000" "01003fc00000" "00000000"));
    }
};

QTEST_GUILESS_MAIN(TstSymbolTags)
#include "tst_symboltags.moc"
