// quillmarsh-bench-batch HOST:PORT single|batch ROUNDS: reads the same 100
// tags (mixed types and counts over inputs, markers and two data blocks)
// ROUNDS times, either with 100 ReadVariable calls or with one readVariables
// batch through the extension. bench/batch.sh runs it under callgrind, which
// counts the instructions inside quillmarsh_batch_measured only, for ROUNDS
// and twice as many: the difference over 100 tags is the cost per tag,
// without loading, connecting and warming up. Exit code 0 only when every
// record read was StatusOk.
#include <QCoreApplication>

#include <cstdio>

#include "CDriveExtension.h"
#include "DriverPlugin.h"

namespace {

QList<CDriveExtension::Tag> hundredTags()
{
    const struct { DataType type; int count; } kinds[] = {
        {Bool, 1}, {Int8, 3}, {UInt16, 1}, {Bool, 9}, {Int32, 1}, {UInt8, 1}, {Float, 1}, {Int16, 1}, {UInt32, 1}};
    const char *areas[] = {"I%1", "M%1", "DB1.DBB%1", "DB2.DBB%1"};
    QList<CDriveExtension::Tag> tags;
    for (int i = 0; i < 100; ++i) {
        CDriveExtension::Tag tag;
        tag.type = kinds[i % 9].type;
        tag.count = kinds[i % 9].count;
        tag.address = QString::fromLatin1(areas[i % 4]).arg(i / 4 * 3);
        if (tag.type == Bool)
            tag.address = tag.address.replace(QLatin1String("DBB"), QLatin1String("DBX")) + QStringLiteral(".%1").arg(i % 8);
        tags << tag;
    }
    return tags;
}

bool readRound(CDriveBaseClass *driver, CDriveExtension *more, const QList<CDriveExtension::Tag> &tags, bool batch)
{
    bool ok = true;
    if (batch) {
        for (const CLabelVariable &r : more->readVariables(tags))
            ok = ok && r.status == StatusOk;
    } else {
        for (const CDriveExtension::Tag &t : tags)
            ok = ok && driver->ReadVariable(t.address, t.type, t.count).status == StatusOk;
    }
    return ok;
}

} // namespace

// Out of line under a plain C name and called once, after a warm-up round.
extern "C" __attribute__((noinline)) bool quillmarsh_batch_measured(CDriveBaseClass *driver, CDriveExtension *more,
                                                                    const QList<CDriveExtension::Tag> &tags,
                                                                    bool batch, int rounds)
{
    bool ok = true;
    for (int i = 0; i < rounds; ++i)
        ok = readRound(driver, more, tags, batch) && ok;
    return ok;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(2);
    const int rounds = args.value(3).toInt();
    if (args.size() != 4 || (mode != QLatin1String("single") && mode != QLatin1String("batch")) || rounds < 1) {
        std::fprintf(stderr, "usage: quillmarsh-bench-batch HOST:PORT single|batch ROUNDS\n");
        return 2;
    }
    DriverPlugin plugin;
    CDriveBaseClass *driver = plugin.create();
    CDriveExtension *more = driveExtension(driver);
    if (!more || driver->ConnectDrive(args.at(1)) != ConnectOk) {
        std::fprintf(stderr, "quillmarsh-bench-batch: no driver with the extension connected to %s: %s\n",
                     qPrintable(args.at(1)), qPrintable(plugin.errorString()));
        return 1;
    }
    const QList<CDriveExtension::Tag> tags = hundredTags();
    const bool batch = mode == QLatin1String("batch");
    const bool ok = readRound(driver, more, tags, batch) && quillmarsh_batch_measured(driver, more, tags, batch, rounds);
    return ok ? 0 : 1;
}
