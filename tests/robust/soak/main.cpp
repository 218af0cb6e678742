// Soak run: N write/read cycles on one driver object, then M rounds of
// connect / disconnect / DestroyFree (with a fresh driver object every few
// rounds), against the in-process simulated PLC. Prints resident memory and
// open descriptors at start and end; fails on any failed job, on descriptors
// left open, or on resident memory growing beyond the bound.
//   quillmarsh-soak [--cycles N] [--reconnects M] [--max-growth-kib K]

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <QThread>

#include <memory>

#include "DriverPlugin.h"
#include "ProcessStats.h"
#include "SimPlc.h"

namespace {

constexpr int Bytes = 4;
constexpr int FreshObjectEvery = 10;
constexpr int ForgetFramesEvery = 1000;
const QString Tag = QStringLiteral("DB1.DBB0");

// Under AddressSanitizer freed memory sits in quarantine, so resident memory
// says nothing about leaks there (the leak checker does).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool RssIsMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool RssIsMeaningful = false;
#else
constexpr bool RssIsMeaningful = true;
#endif
#else
constexpr bool RssIsMeaningful = true;
#endif

constexpr int SettleWaitMs = 5000;

struct Figures
{
    qint64 rssKiB;
    int fds;
};

// Figures once the simulator has closed its side of every connection: its
// sockets live in this process too.
Figures figures(const SimPlc &sim)
{
    QElapsedTimer timer;
    timer.start();
    while (sim.connectionCount() > 0 && timer.elapsed() < SettleWaitMs)
        QThread::msleep(10);
    return {ProcessStats::residentKiB(), ProcessStats::openDescriptors()};
}

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

void report(const char *when, const Figures &f)
{
    out() << "soak: " << when << ": resident " << f.rssKiB << " KiB, open descriptors " << f.fds << Qt::endl;
}

// Writes a pattern and reads it back; false on any status but 0 or other bytes.
bool writeAndRead(CDriveBaseClass *driver, int cycle)
{
    QList<uchar> bytes;
    for (int i = 0; i < Bytes; ++i)
        bytes.append(uchar(cycle * 13 + i));
    CLabelVariable value;
    value.value = QVariant::fromValue(bytes);
    const CLabelVariable written = driver->WriteVariable(Tag, UInt8, value, Bytes);
    const CLabelVariable read = driver->ReadVariable(Tag, UInt8, Bytes);
    return written.status == StatusOk && read.status == StatusOk && read.value.value<QList<uchar>>() == bytes;
}

int readWriteCycles(SimPlc &sim, const QString &plc, int cycles)
{
    DriverPlugin host;
    CDriveBaseClass *driver = host.create();
    if (driver->ConnectDrive(plc) != ConnectOk)
        return cycles;
    int failures = 0;
    for (int i = 0; i < cycles; ++i) {
        failures += writeAndRead(driver, i) ? 0 : 1;
        if (i % ForgetFramesEvery == 0)
            sim.clearReceivedFrames(); // the simulator logs every frame it gets
    }
    driver->DestroyFree();
    return failures;
}

int reconnectCycles(SimPlc &sim, const QString &plc, int rounds)
{
    int failures = 0;
    std::unique_ptr<DriverPlugin> host;
    CDriveBaseClass *driver = nullptr;
    for (int i = 0; i < rounds; ++i) {
        if (i % FreshObjectEvery == 0)
            {
            host.reset(new DriverPlugin);
            driver = host->create();
        }
        const bool ok = driver->ConnectDrive(plc) == ConnectOk && driver->ReadVariable(Tag, UInt8, Bytes).status == StatusOk
                        && driver->DisConnectDrive() == ReleaseDone && driver->ConnectDrive(plc) == ConnectOk
                        && driver->DestroyFree() == ReleaseDone;
        failures += ok ? 0 : 1;
        sim.clearReceivedFrames();
    }
    return failures;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Soak run of the Quillmarsh plug-in against the simulated PLC"));
    parser.addHelpOption();
    const QCommandLineOption cyclesOption(QStringLiteral("cycles"), QStringLiteral("Write/read cycles (100000)."),
                                          QStringLiteral("N"), QStringLiteral("100000"));
    const QCommandLineOption roundsOption(QStringLiteral("reconnects"),
                                          QStringLiteral("Connect/disconnect/DestroyFree rounds (1000)."),
                                          QStringLiteral("M"), QStringLiteral("1000"));
    const QCommandLineOption growthOption(QStringLiteral("max-growth-kib"),
                                          QStringLiteral("Largest resident memory growth allowed (16384)."),
                                          QStringLiteral("K"), QStringLiteral("16384"));
    parser.addOptions({cyclesOption, roundsOption, growthOption});
    parser.process(app);
    bool ok1 = false, ok2 = false, ok3 = false;
    const int cycles = parser.value(cyclesOption).toInt(&ok1);
    const int rounds = parser.value(roundsOption).toInt(&ok2);
    const qint64 maxGrowth = parser.value(growthOption).toLongLong(&ok3);
    if (!ok1 || !ok2 || !ok3 || cycles < 0 || rounds < 0 || maxGrowth < 0) {
        QTextStream(stderr) << "soak: counts must be whole numbers of 0 or more\n";
        return 2;
    }
    if (DriverPlugin host; !host.create()) {
        QTextStream(stderr) << "soak: cannot use " << host.errorString() << '\n';
        return 2;
    }

    SimPlc sim;
    if (!sim.start()) {
        QTextStream(stderr) << "soak: simulator cannot listen: " << sim.errorString() << '\n';
        return 2;
    }
    const QString plc = QStringLiteral("127.0.0.1:%1").arg(sim.port());
    // One short round first, so that Qt's one-off set-up is not counted.
    readWriteCycles(sim, plc, 10);
    reconnectCycles(sim, plc, 1);
    const Figures start = figures(sim);
    report("start", start);

    QElapsedTimer timer;
    timer.start();
    const int rwFailures = readWriteCycles(sim, plc, cycles);
    out() << "soak: " << cycles << " write/read cycles in " << timer.elapsed() << " ms, failures " << rwFailures
          << Qt::endl;
    report("after write/read", figures(sim));
    timer.restart();
    const int roundFailures = reconnectCycles(sim, plc, rounds);
    out() << "soak: " << rounds << " connect/disconnect/DestroyFree rounds in " << timer.elapsed()
          << " ms, failures " << roundFailures << Qt::endl;

    const Figures end = figures(sim);
    report("end", end);
    const qint64 growth = end.rssKiB - start.rssKiB;
    out() << "soak: growth: resident " << growth << " KiB, open descriptors " << end.fds - start.fds << Qt::endl;

    bool passed = rwFailures == 0 && roundFailures == 0 && end.fds <= start.fds;
    if (RssIsMeaningful)
        passed = passed && growth <= maxGrowth;
    else
        out() << "soak: resident memory not judged under AddressSanitizer" << Qt::endl;
    out() << "soak: " << (passed ? "PASS" : "FAIL") << Qt::endl;
    return passed ? 0 : 1;
}
