// minimal-host HOST:PORT: writes the Int16 1234 to DB1.DBW0 through the
// Quillmarsh plug-in, reads it back and prints both records. Exit code 0 only
// when the read gives 1234. It prints the Qt it runs on, which must be the
// plug-in's.
#include <QCoreApplication>

#include <cstdio>

#include "CDriveBaseClass.h"
#include "DriverPlugin.h"

static void print(const char *what, CLabelVariable record)
{
    std::printf("%s %s: status %d, value %d, time %s\n", what, qPrintable(record.address), record.status,
                record.getInt16(0), qPrintable(record.timestamp.toString(Qt::ISODateWithMs)));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: minimal-host HOST:PORT\n");
        return 2;
    }
    std::printf("Qt %s, plug-in %s\n", qVersion(), QUILLMARSH_PLUGIN_PATH);
    DriverPlugin plugin(QStringLiteral(QUILLMARSH_PLUGIN_PATH));
    CDriveBaseClass *driver = plugin.create();
    if (!driver) {
        std::fprintf(stderr, "minimal-host: %s\n", qPrintable(plugin.errorString()));
        return 1;
    }
    const int connected = driver->ConnectDrive(QString::fromLocal8Bit(argv[1]));
    if (connected != ConnectOk) {
        std::fprintf(stderr, "minimal-host: ConnectDrive answered %d\n", connected);
        return 1;
    }

    CLabelVariable value;
    value.value = QVariant::fromValue(QList<short>{1234});
    print("wrote", driver->WriteVariable(QStringLiteral("DB1.DBW0"), Int16, value, 1));
    CLabelVariable read = driver->ReadVariable(QStringLiteral("DB1.DBW0"), Int16, 1);
    print("read ", read);
    return read.status == StatusOk && read.getInt16(0) == 1234 ? 0 : 1;
}
