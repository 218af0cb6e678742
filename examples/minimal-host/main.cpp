// minimal-host HOST:PORT [RACK SLOT]: writes the Int16 1234 to DB1.DBW0
// through the Quillmarsh plug-in, reads it back alone and then in a batch
// with two more tags, and prints the records. Through the plug-in's
// extension it connects to the CPU in RACK and SLOT (default 0 0; an S7-300
// sits in slot 2) and reads the batch in one job. Exit code 0 only when both
// reads give 1234. It prints the Qt it runs on, which must be the plug-in's.
#include <QCoreApplication>
#include <QSequentialIterable>
#include <QStringList>

#include <cstdio>

#include "CDriveBaseClass.h"
#include "CDriveExtension.h"
#include "DriverPlugin.h"

static void print(const char *what, const CLabelVariable &record, const QString &why = QString())
{
    QStringList values;
    if (record.value.canConvert<QVariantList>()) {
        for (const QVariant &v : record.value.value<QSequentialIterable>()) {
            const bool byte = v.userType() == QMetaType::UChar || v.userType() == QMetaType::Char;
            values << (byte ? QString::number(v.toInt()) : v.toString());
        }
    }
    std::printf("%s %s: status %d, value %s, time %s%s%s\n", what, qPrintable(record.address), record.status,
                qPrintable(values.join(QLatin1Char(' '))), qPrintable(record.timestamp.toString(Qt::ISODateWithMs)),
                why.isEmpty() ? "" : ", why: ", qPrintable(why));
}

static CDriveExtension::Tag tag(const char *address, DataType type, int count)
{
    CDriveExtension::Tag t;
    t.address = QString::fromLatin1(address);
    t.type = type;
    t.count = count;
    return t;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: minimal-host HOST:PORT [RACK SLOT]\n");
        return 2;
    }
    std::printf("Qt %s, plug-in %s\n", qVersion(), QUILLMARSH_PLUGIN_PATH);
    DriverPlugin plugin(QStringLiteral(QUILLMARSH_PLUGIN_PATH));
    CDriveBaseClass *driver = plugin.create();
    if (!driver) {
        std::fprintf(stderr, "minimal-host: %s\n", qPrintable(plugin.errorString()));
        return 1;
    }
    // A plug-in without the extension answers nullptr here; a host then
    // goes on with CDriveBaseClass alone.
    CDriveExtension *more = driveExtension(driver);
    if (!more) {
        std::fprintf(stderr, "minimal-host: the plug-in offers no extension\n");
        return 1;
    }
    CDriveExtension::ConnectionOptions options;
    options.rack = argc == 4 ? QByteArray(argv[2]).toInt() : 0;
    options.slot = argc == 4 ? QByteArray(argv[3]).toInt() : 0;
    if (!more->setConnectionOptions(options)) {
        std::fprintf(stderr, "minimal-host: rack 0 to 7 and slot 0 to 31, please\n");
        return 2;
    }
    const int connected = driver->ConnectDrive(QString::fromLocal8Bit(argv[1]));
    if (connected != ConnectOk) {
        std::fprintf(stderr, "minimal-host: ConnectDrive answered %d\n", connected);
        return 1;
    }
    const CDriveExtension::Negotiated granted = more->negotiated();
    std::printf("rack %d slot %d, PDU %d, jobs %d\n", options.rack, options.slot, granted.pduSize,
                granted.parallelJobsCalling);

    CLabelVariable value;
    value.value = QVariant::fromValue(QList<short>{1234});
    print("wrote", driver->WriteVariable(QStringLiteral("DB1.DBW0"), Int16, value, 1));
    const CLabelVariable read = driver->ReadVariable(QStringLiteral("DB1.DBW0"), Int16, 1);
    print("read ", read);

    const QList<CLabelVariable> batch =
        more->readVariables({tag("DB1.DBW0", Int16, 1), tag("DB1.DBB2", UInt8, 4), tag("M0.0", Bool, 8)});
    const QList<CDriveExtension::Why> why = more->lastWhy();
    for (int i = 0; i < batch.size(); ++i)
        print("batch", batch.at(i), why.at(i).text);
    const auto is1234 = [](const CLabelVariable &r) {
        return r.status == StatusOk && r.value.value<QList<short>>() == QList<short>{1234};
    };
    return is1234(read) && is1234(batch.first()) ? 0 : 1;
}
