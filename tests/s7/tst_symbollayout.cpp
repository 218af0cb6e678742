// The layout of data-block sources by the standard-access rules: one row
// per rule and corner, offsets worked out by hand; real exported sources;
// symbols as users type them; and the errors a source can hold.
#include <QtTest>

#include "SymbolTable.h"

namespace {
const char kDataDir[] = QUILLMARSH_SYMBOLS_DATA;

// A source whose one data block "D" is DB 1, its members given as STRUCT
// lines; types (UDTs, FBs) go before it.
QString dataBlock(const QString &members, const QString &types = QString())
{
    return types + QStringLiteral("\nDATA_BLOCK \"D\"\n{ S7_Optimized_Access := 'FALSE' }\nVERSION : 0.1\n"
                                  "   STRUCT\n%1\n   END_STRUCT;\nBEGIN\nEND_DATA_BLOCK\n").arg(members);
}

bool build(SymbolTable *table, const QString &source, QString *error)
{
    return table->addSource(source, QStringLiteral("t.db"), error) && table->setNumber(QStringLiteral("D=1"), error)
        && table->build(error);
}

SymbolLeaf leafOf(const SymbolTable &table, const QString &symbol)
{
    QList<SymbolLeaf> leaves;
    QString error;
    if (!table.resolve(symbol, &leaves, &error) || leaves.size() != 1)
        qWarning("%s: %s", qPrintable(symbol), qPrintable(error));
    return leaves.value(0);
}
} // namespace

class TstSymbolLayout : public QObject
{
    Q_OBJECT

private slots:
    void rules_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<int>("byte");
        QTest::addColumn<int>("bit");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("s7type");

        const QString udts = QStringLiteral(
            "TYPE \"In\"\nVERSION : 0.1\n STRUCT\n  x : Bool;\n END_STRUCT;\nEND_TYPE\n"
            "TYPE \"Out\"\n STRUCT\n  a : \"In\";\n  y : Int;\n  z : Bool;\n END_STRUCT;\nEND_TYPE\n");
        const QString fb = QStringLiteral(
            "FUNCTION_BLOCK \"Fb\"\n{ S7_Optimized_Access := 'FALSE' }\nVERSION : 0.1\n"
            "   VAR_INPUT\n      Start : Bool;\n   END_VAR\n   VAR_OUTPUT\n      Done : Bool;\n   END_VAR\n"
            "   VAR_IN_OUT\n      Count : Int;\n      Text : String[4];\n   END_VAR\n"
            "   VAR\n      State : Byte;\n      Inner : \"Small\";\n   END_VAR\n   VAR_TEMP\n      t : DInt;\n   END_VAR\n"
            "   VAR CONSTANT\n      Limit : Int := 5;\n   END_VAR\nBEGIN\n   IF #Start THEN #State := 1; END_IF;\nEND_FUNCTION_BLOCK\n"
            "FUNCTION_BLOCK \"Small\"\n   VAR_INPUT\n      In : Bool;\n   END_VAR\nBEGIN\nEND_FUNCTION_BLOCK\n"
            "DATA_BLOCK \"D\"\n{ S7_Optimized_Access := 'FALSE' }\n\"Fb\"\nBEGIN\nEND_DATA_BLOCK\n");

        QTest::addRow("BOOL then INT") << dataBlock("a : Bool; b : Int;") << "D.b" << 2 << -1 << 2 << "INT";
        QTest::addRow("BYTE after BOOL") << dataBlock("a : Bool; b : Byte;") << "D.b" << 1 << -1 << 1 << "BYTE";
        QTest::addRow("BOOLs fill a byte, then the next") << dataBlock("a : Byte; b : Bool; c : Bool; d : Bool; e : Bool; "
                                                                       "f : Bool; g : Bool; h : Bool; i : Bool; j : Bool;")
                                                           << "D.j" << 2 << 0 << 0 << "BOOL";
        QTest::addRow("BOOL after STRUCT") << dataBlock("s : Struct\n x : Byte;\n END_STRUCT;\n b : Bool;")
                                           << "D.b" << 2 << 0 << 0 << "BOOL";
        QTest::addRow("STRUCT at an even byte") << dataBlock("a : Byte; s : Struct\n x : Byte;\n END_STRUCT;")
                                                << "D.s.x" << 2 << -1 << 1 << "BYTE";
        QTest::addRow("ARRAY of 10 BOOL, 10th") << dataBlock("a : Array[1..10] of Bool; b : Bool;")
                                                << "D.a[10]" << 1 << 1 << 0 << "BOOL";
        QTest::addRow("after ARRAY of 10 BOOL") << dataBlock("a : Array[1..10] of Bool; b : Bool;")
                                                << "D.b" << 2 << 0 << 0 << "BOOL";
        QTest::addRow("ARRAY of 3 BYTE ends even") << dataBlock("a : Array[1..3] of Byte; b : Byte;")
                                                   << "D.b" << 4 << -1 << 1 << "BYTE";
        QTest::addRow("DINT at even, not 4") << dataBlock("a : Byte; b : DInt;") << "D.b" << 2 << -1 << 4 << "DINT";
        QTest::addRow("STRING at an odd offset") << dataBlock("a : Byte; s : String[3]; c : Byte;")
                                                 << "D.s" << 2 << -1 << 5 << "STRING[3]";
        QTest::addRow("after STRING[3]") << dataBlock("a : Byte; s : String[3]; c : Byte;")
                                         << "D.c" << 8 << -1 << 1 << "BYTE";
        QTest::addRow("STRING without length") << dataBlock("s : String; c : Byte;") << "D.c" << 256 << -1 << 1 << "BYTE";
        QTest::addRow("WSTRING[3]") << dataBlock("a : Bool; s : WString[3];") << "D.s" << 2 << -1 << 10 << "WSTRING[3]";
        QTest::addRow("CHAR at odd") << dataBlock("a : Byte; c : Char;") << "D.c" << 1 << -1 << 1 << "CHAR";
        QTest::addRow("DTL") << dataBlock("a : Byte; t : DTL; b : Byte;") << "D.b" << 14 << -1 << 1 << "BYTE";
        QTest::addRow("LREAL") << dataBlock("a : Byte; r : LReal;") << "D.r" << 2 << -1 << 8 << "LREAL";
        QTest::addRow("nested UDTs, inner BOOL") << dataBlock("p : Byte; o : \"Out\"; q : Bool;", udts)
                                                 << "D.o.a.x" << 2 << 0 << 0 << "BOOL";
        QTest::addRow("nested UDTs, after inner") << dataBlock("p : Byte; o : \"Out\"; q : Bool;", udts)
                                                  << "D.o.y" << 4 << -1 << 2 << "INT";
        QTest::addRow("nested UDTs, after outer") << dataBlock("p : Byte; o : \"Out\"; q : Bool;", udts)
                                                  << "D.q" << 8 << 0 << 0 << "BOOL";
        QTest::addRow("two dimensions, last index fastest") << dataBlock("m : Array[0..1, 1..3] of Int;")
                                                            << "D.m[1,2]" << 8 << -1 << 2 << "INT";
        QTest::addRow("two dimensions of BOOL") << dataBlock("m : Array[0..2, 0..3] of Bool;")
                                                << "D.m[2,1]" << 1 << 1 << 0 << "BOOL";
        QTest::addRow("array of STRUCT, stride even") << dataBlock("a : Array[0..2] of Struct\n x : Byte;\n END_STRUCT;")
                                                      << "D.a[2].x" << 4 << -1 << 1 << "BYTE";
        QTest::addRow("negative bounds") << dataBlock("a : Array[-2..2] of Int;") << "D.a[-1]" << 2 << -1 << 2 << "INT";
        QTest::addRow("FB instance: OUT starts a word") << fb << "D.Done" << 2 << 0 << 0 << "BOOL";
        QTest::addRow("FB instance: IN_OUT INT by value") << fb << "D.Count" << 4 << -1 << 2 << "INT";
        QTest::addRow("FB instance: IN_OUT STRING as POINTER") << fb << "D.Text" << 6 << -1 << 6 << "POINTER";
        QTest::addRow("FB instance: static") << fb << "D.State" << 12 << -1 << 1 << "BYTE";
        QTest::addRow("FB instance: multi-instance") << fb << "D.Inner.In" << 14 << 0 << 0 << "BOOL";
    }
    void rules()
    {
        QFETCH(QString, source);
        QFETCH(QString, symbol);
        QFETCH(int, byte);
        QFETCH(int, bit);
        QFETCH(int, size);
        QFETCH(QString, s7type);
        SymbolTable table;
        QString error;
        QVERIFY2(build(&table, source, &error), qPrintable(error));
        const SymbolLeaf leaf = leafOf(table, symbol);
        QCOMPARE(leaf.byte, byte);
        QCOMPARE(leaf.bit, bit);
        QCOMPARE(leaf.size(), size);
        QCOMPARE(leaf.type.name(), s7type);
    }
    // Temporary data and constants take no room; the instance ends even.
    void instanceSize()
    {
        SymbolTable table;
        QString error;
        QVERIFY2(build(&table,
                       "FUNCTION_BLOCK \"F\"\nVAR_INPUT\n a : Bool;\nEND_VAR\nVAR_TEMP\n t : LReal;\nEND_VAR\n"
                       "VAR CONSTANT\n c : LReal := 1.0;\nEND_VAR\nBEGIN\nEND_FUNCTION_BLOCK\n"
                       "DATA_BLOCK \"D\" \"F\" BEGIN END_DATA_BLOCK\n", &error), qPrintable(error));
        QCOMPARE(table.blocks().value(0).leaves.size(), 1);
        QCOMPARE(table.blocks().value(0).size, 2);
    }
    void initialValues_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("initial");
        const QString block = QStringLiteral(
            "DATA_BLOCK \"D\"\n  STRUCT\n   a : Int := 5;\n   b : Array[0..4] of Int := [1, 2(7), 9];\n"
            "   c : String[8] := 'x, y';\n   d : Time := T#1S;\n  END_STRUCT ;\nBEGIN\n   d := T#2S; \n   b[4] := -3;\nEND_DATA_BLOCK\n");
        QTest::addRow("declared") << block << "D.a" << "5";
        QTest::addRow("array item") << block << "D.b[3]" << "9";
        QTest::addRow("array repeat") << block << "D.b[2]" << "7";
        QTest::addRow("array BEGIN") << block << "D.b[4]" << "-3";
        QTest::addRow("text with comma") << block << "D.c" << "'x, y'";
        QTest::addRow("BEGIN before declared") << block << "D.d" << "T#2S";
    }
    void initialValues()
    {
        QFETCH(QString, source);
        QFETCH(QString, symbol);
        QFETCH(QString, initial);
        SymbolTable table;
        QString error;
        QVERIFY2(build(&table, source, &error), qPrintable(error));
        QCOMPARE(leafOf(table, symbol).initial, initial);
    }
    // Exported sources from public repositories (see data/README.md), with
    // offsets worked out by hand.
    void realSources_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("comment");
        const QStringList tia{"DB_Test=4", "DB_Test2=3"};
        QTest::addRow("TIA: 20 CHAR then BOOL") << "DB_Test.db" << tia << "DB_Test2.bool" << "DB3.DBX20.0" << 0 << "";
        QTest::addRow("TIA: UDT after BOOL") << "DB_Test.db" << tia << "\"DB_Test2\".\"UDT1\".int" << "DB3.DBW24" << 2 << "";
        QTest::addRow("TIA: STRING default length") << "DB_Test.db" << tia << "DB_Test2.UDT1.string" << "DB3.DBB28" << 256 << "";
        QTest::addRow("TIA: STRING[10] after STRING") << "DB_Test.db" << tia << "DB_Test2.UDT1.string2" << "DB3.DBB284" << 12 << "";
        QTest::addRow("TIA: BOOLs after STRING") << "DB_Test.db" << tia << "DB_Test2.UDT1.BoolTest_9" << "DB3.DBX297.1" << 0 << "";
        QTest::addRow("TIA: BYTE after UDT") << "DB_Test.db" << tia << "DB_Test2.test" << "DB3.DBB298" << 1 << "";
        QTest::addRow("TIA: UDT array in UDT") << "DB_Test.db" << tia << "DB_Test.udt2.Udt1Array[1].int" << "DB4.DBW560" << 2 << "";
        QTest::addRow("TIA: BOOL array in UDT") << "DB_Test.db" << tia << "DB_Test.udt2.boolArray[10]" << "DB4.DBX835.2" << 0 << "";
        QTest::addRow("TIA: BOOL after 11 BOOLs") << "DB_Test.db" << tia << "DB_Test.udt2.bool_3" << "DB4.DBX836.3" << 0 << "";
        QTest::addRow("TIA: BOOL after UDT") << "DB_Test.db" << tia << "DB_Test.boolEnd" << "DB4.DBX838.0" << 0 << "";
        const QStringList s7{"OB1_Daten=1", "DB_Schiebereg_Band=2"};
        QTest::addRow("STEP 7: INTs") << "bnt_modell_excerpt.awl" << s7 << "OB1_Daten.Schiebereg_Fuellstand" << "DB1.DBW8" << 2 << "";
        QTest::addRow("STEP 7 FB: OUT after BOOLs") << "bnt_modell_excerpt.awl" << s7 << "DB_Schiebereg_Band.Anzahl_Teile"
                                                    << "DB2.DBW4" << 2 << "";
        // The FB's own code steps from Dicke_0 to Dicke_1 by P#4.0 and finds
        // each Farbe at P#2.0 after its Dicke.
        QTest::addRow("STEP 7 FB: stride 4") << "bnt_modell_excerpt.awl" << s7 << "DB_Schiebereg_Band.Dicke_1" << "DB2.DBW18" << 2 << "";
        QTest::addRow("STEP 7 FB: Farbe at +2") << "bnt_modell_excerpt.awl" << s7 << "DB_Schiebereg_Band.Farbe_1" << "DB2.DBX20.0" << 0 << "";
        // The author named spare bits by the address they have: Spare_012 is 1.2.
        QTest::addRow("STEP 7 DB 2: Spare_012") << "acme_001_excerpt.awl" << QStringList() << "DB2.Spare_012" << "DB2.DBX1.2" << 0 << "";
        QTest::addRow("STEP 7 DB 2: Spare_097") << "acme_001_excerpt.awl" << QStringList() << "DB2.Spare_097" << "DB2.DBX9.7" << 0 << "";
        QTest::addRow("STEP 7 DB 2: INT after 104 BOOLs") << "acme_001_excerpt.awl" << QStringList() << "DB2.Solenoeid_No"
                                                         << "DB2.DBW14" << 2 << "";
        QTest::addRow("STEP 7 DB 2: comment") << "acme_001_excerpt.awl" << QStringList() << "DB2.HandshakeToCCR"
                                              << "DB2.DBX0.0" << 0 << "Temporary placeholder variable";
    }
    void realSources()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, numbers);
        QFETCH(QString, symbol);
        QFETCH(QString, address);
        QFETCH(int, size);
        QFETCH(QString, comment);
        SymbolTable table;
        QString error;
        QVERIFY2(table.addFile(QLatin1String(kDataDir) + QLatin1Char('/') + file, &error), qPrintable(error));
        for (const QString &n : numbers)
            QVERIFY2(table.setNumber(n, &error), qPrintable(error));
        QVERIFY2(table.build(&error), qPrintable(error));
        const SymbolLeaf leaf = leafOf(table, symbol);
        QCOMPARE(leaf.address(), address);
        QCOMPARE(leaf.size(), size);
        QCOMPARE(leaf.comment, comment);
    }
    // A source saved with a byte-order mark lays out as the same source without one.
    void byteOrderMarks_data()
    {
        QTest::addColumn<QByteArray>("encoded");
        const QString text = dataBlock(QStringLiteral("a : Bool;   // Förderband\n b : Int;"));
        QByteArray little, big;
        for (const QChar c : text) {
            little.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
            big.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
        }
        QTest::addRow("UTF-8") << QByteArray("\xEF\xBB\xBF") + text.toUtf8();
        QTest::addRow("UTF-16 little-endian") << QByteArray("\xFF\xFE") + little;
        QTest::addRow("UTF-16 big-endian") << QByteArray("\xFE\xFF") + big;
    }
    void byteOrderMarks()
    {
        QFETCH(QByteArray, encoded);
        QTemporaryFile file;
        QVERIFY(file.open() && file.write(encoded) == encoded.size() && file.flush());
        SymbolTable table;
        QString error;
        QVERIFY2(table.addFile(file.fileName(), &error) && table.setNumber(QStringLiteral("D=1"), &error)
                     && table.build(&error), qPrintable(error));
        QCOMPARE(leafOf(table, QStringLiteral("D.a")).comment, QStringLiteral("Förderband"));
        QCOMPARE(leafOf(table, QStringLiteral("D.b")).address(), QStringLiteral("DB1.DBW2"));
    }
    void resolve_data()
    {
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("first");   // the first leaf, or the error
        QTest::addRow("leaf, quoted") << "\"D\".\"ax\"[2].v" << 1 << "\"D\".ax[2].v";
        QTest::addRow("any case, blanks") << "d . AX [ 2 ] . V" << 1 << "\"D\".ax[2].v";
        QTest::addRow("array element") << "D.ax[1]" << 2 << "\"D\".ax[1].on";
        QTest::addRow("array") << "D.ax" << 6 << "\"D\".ax[0].on";
        QTest::addRow("two-dimensional element") << "D.m[1, 0]" << 1 << "\"D\".m[1,0]";
        QTest::addRow("block by number") << "DB1" << 11 << "\"D\".ax[0].on";
        QTest::addRow("prefix is no member") << "D.a" << 0 << "data block \"D\" has no member a";
        QTest::addRow("index out of range") << "D.ax[3]" << 0 << "has no member ax[3]";
        QTest::addRow("no such block") << "E.x" << 0 << "no data block named in 'E.x' among the sources given (\"D\")";
        QTest::addRow("not a symbol") << "D..x" << 0 << "'D..x' is not a symbol";
    }
    void resolve()
    {
        QFETCH(QString, symbol);
        QFETCH(int, count);
        QFETCH(QString, first);
        SymbolTable table;
        QString error;
        QVERIFY2(build(&table, dataBlock("ax : Array[0..2] of Struct\n on : Bool;\n v : Int;\n END_STRUCT;\n"
                                         "m : Array[0..1, 0..1] of Word; q : Bool;"), &error), qPrintable(error));
        QList<SymbolLeaf> leaves;
        QCOMPARE(table.resolve(symbol, &leaves, &error), count > 0);
        QCOMPARE(leaves.size(), count);
        if (count > 0)
            QCOMPARE(leaves.first().symbol, first);
        else
            QVERIFY2(error.contains(first), qPrintable(error));
    }
    void errors_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("error");
        QTest::addRow("optimized block") << "DATA_BLOCK \"D\"\n{ S7_Optimized_Access := 'TRUE' }\nVAR\n a : Int;\nEND_VAR\nBEGIN\nEND_DATA_BLOCK\n"
                                         << "t.db:1:1: \"D\" has optimized access, so its members have no absolute addresses";
        QTest::addRow("optimized FB") << "FUNCTION_BLOCK \"F\"\n{ S7_Optimized_Access := 'TRUE' }\nVAR\n a : Int;\nEND_VAR\n"
                                         "BEGIN\nEND_FUNCTION_BLOCK\nDATA_BLOCK \"D\" \"F\" BEGIN END_DATA_BLOCK\n"
                                      << "t.db:1:1: function block \"F\" has optimized access";
        QTest::addRow("missing colon") << dataBlock("a Int;") << "t.db:6:3: expected ':', found 'Int'";
        QTest::addRow("unclosed text") << dataBlock("a : String := 'abc;") << "t.db:6:15: ' is not closed on its line";
        QTest::addRow("unclosed comment") << dataBlock("a : Int; (* note") << "t.db:6:10: comment (* … has no closing *)";
        QTest::addRow("unknown type") << dataBlock("a : Bool;\n t : TON;") << "t.db:7:6: type \"TON\" is not declared";
        QTest::addRow("bounds backwards") << dataBlock("a : Array[3..1] of Int;") << "t.db:6:11: array bounds 3..1 run backwards";
        QTest::addRow("STRING too long") << dataBlock("a : String[300];") << "t.db:6:12: STRING length 300 is not 0 to 254";
        QTest::addRow("past 65536 bytes") << dataBlock("a : Array[0..32767] of Int; b : Byte;") << "t.db:6:29: \"D\".b ends past byte 65535";
        QTest::addRow("UDT holds itself") << dataBlock("a : \"U\";", "TYPE \"U\"\n STRUCT\n  u : \"U\";\n END_STRUCT;\nEND_TYPE\n")
                                          << "t.db:3:7: type \"U\" holds itself";
        QTest::addRow("not a block") << "STRUCT a : Int; END_STRUCT;" << "t.db:1:1: expected TYPE, DATA_BLOCK";
        QTest::addRow("no END_DATA_BLOCK") << "DATA_BLOCK \"D\"\n STRUCT\n a : Int;\n END_STRUCT;\n"
                                           << "t.db:5:1: expected END_DATA_BLOCK";
    }
    void errors()
    {
        QFETCH(QString, source);
        QFETCH(QString, error);
        SymbolTable table;
        QString message;
        QVERIFY(!build(&table, source, &message));
        QVERIFY2(message.startsWith(error), qPrintable(message));
    }
    void numbers_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<QString>("result");   // the first leaf's address, or the error
        const QString named = QStringLiteral("DATA_BLOCK \"M\"\n STRUCT\n a : Int;\n END_STRUCT;\nBEGIN\nEND_DATA_BLOCK\n");
        QTest::addRow("number in source") << "DATA_BLOCK DB 7\n STRUCT\n a : Int;\n END_STRUCT;\nBEGIN\nEND_DATA_BLOCK\n"
                                          << QStringList() << "DB7.DBW0";
        QTest::addRow("--number quoted") << named << QStringList{"\"M\"=5"} << "DB5.DBW0";
        QTest::addRow("no number") << named << QStringList() << "t.db:1:1: data block \"M\" has no number in its source: give it with --number \"M\"=N";
        QTest::addRow("--number of no block") << named << QStringList{"M=5", "X=6"} << "--number names \"X\", which no source declares as a DATA_BLOCK";
        QTest::addRow("--number 0") << named << QStringList{"M=0"} << "--number 'M=0' is not NAME=N with N from 1 to 65535";
        QTest::addRow("one number twice") << named + "DATA_BLOCK DB 5 STRUCT b : Int; END_STRUCT; BEGIN END_DATA_BLOCK\n"
                                          << QStringList{"M=5"} << "t.db:7:1: \"M\" and \"DB5\" are both DB5";
    }
    void numbers()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, numbers);
        QFETCH(QString, result);
        SymbolTable table;
        QString error;
        QVERIFY(table.addSource(source, QStringLiteral("t.db"), &error));
        bool ok = true;
        for (const QString &n : numbers)
            ok = ok && table.setNumber(n, &error);
        ok = ok && table.build(&error);
        QCOMPARE(ok ? table.leaves().value(0).address() : error, result);
    }
};

QTEST_GUILESS_MAIN(TstSymbolLayout)
#include "tst_symbollayout.moc"
