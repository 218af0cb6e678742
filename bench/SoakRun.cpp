#include "SoakRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <memory>

#include "DriverPlugin.h"
#include "ProcStatus.h"
#include "SimPlc.h"

namespace {

constexpr int Cycles = 100000;
constexpr int Reconnects = 1000;
constexpr int HugeReplies = 5;
constexpr long MaxGrowthKiB = 16384;     // over the cycles and rounds
constexpr long MaxHugeGrowthKiB = 65536; // over the huge replies, each 4 MiB
constexpr int Bytes = 4;
constexpr int FreshObjectEvery = 10;
constexpr int ForgetFramesEvery = 1000;
constexpr int SettleWaitMs = 5000;
const QString Tag = QStringLiteral("DB1.DBB0");

struct Figures
{
    long rssKiB;
    int fds;
};

// Figures once the simulator has closed its side of every connection: its
// sockets live in this process too.
Figures figures(const SimPlc &sim, const char *when)
{
    QElapsedTimer timer;
    timer.start();
    while (sim.connectionCount() > 0 && timer.elapsed() < SettleWaitMs)
        QThread::msleep(10);
    const ProcStatus self(QCoreApplication::applicationPid());
    const Figures f{self.residentKiB(), self.descriptors()};
    std::printf("soak: %s: resident %ld KiB, open descriptors %d\n", when, f.rssKiB, f.fds);
    return f;
}

// Writes a pattern and reads it back; false on any other status or bytes.
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

int readWriteCycles(DriverPlugin &plugin, SimPlc &sim, const QString &plc, int cycles)
{
    CDriveBaseClass *driver = plugin.create();
    if (driver->ConnectDrive(plc) != ConnectOk)
        return cycles;
    int failures = 0;
    for (int i = 0; i < cycles; ++i) {
        failures += writeAndRead(driver, i) ? 0 : 1;
        if (i % ForgetFramesEvery == 0)
            sim.clearReceivedFrames(); // the simulator logs every frame it gets
    }
    plugin.release(driver);
    return failures;
}

int reconnectRounds(DriverPlugin &plugin, SimPlc &sim, const QString &plc, int rounds)
{
    int failures = 0;
    CDriveBaseClass *driver = nullptr;
    for (int i = 0; i < rounds; ++i) {
        if (i % FreshObjectEvery == 0) {
            plugin.release(driver);
            driver = plugin.create();
        }
        const bool ok = driver->ConnectDrive(plc) == ConnectOk && driver->ReadVariable(Tag, UInt8, Bytes).status == StatusOk
                        && driver->DisConnectDrive() == ReleaseDone && driver->ConnectDrive(plc) == ConnectOk
                        && driver->DestroyFree() == ReleaseDone;
        failures += ok ? 0 : 1;
        sim.clearReceivedFrames();
    }
    plugin.release(driver);
    return failures;
}

// Replies of megabytes are refused (status 7) without keeping them.
int hugeReplies(DriverPlugin &plugin, SimPlc &sim, const QString &plc, int replies)
{
    CDriveBaseClass *driver = plugin.create();
    int failures = driver->ConnectDrive(plc) == ConnectOk ? 0 : replies;
    sim.setFault(SimPlc::Fault::HugeReply);
    for (int i = 0; i < replies && failures == 0; ++i)
        failures += driver->ReadVariable(Tag, UInt8, 2).status == StatusBadReply ? 0 : 1;
    sim.setFault(SimPlc::Fault::None);
    plugin.release(driver);
    return failures;
}

} // namespace

int SoakRun::run(const QString &pluginPath)
{
    DriverPlugin plugin(pluginPath);
    if (!plugin.load()) {
        std::fprintf(stderr, "soak: %s\n", qPrintable(plugin.errorString()));
        return 2;
    }
    SimPlc sim;
    if (!sim.start()) {
        std::fprintf(stderr, "soak: simulator cannot listen: %s\n", qPrintable(sim.errorString()));
        return 2;
    }
    const QString plc = QStringLiteral("127.0.0.1:%1").arg(sim.port());
    // One short round first, so that Qt's one-off set-up is not counted.
    readWriteCycles(plugin, sim, plc, 10);
    reconnectRounds(plugin, sim, plc, 1);
    const Figures start = figures(sim, "start");

    QElapsedTimer timer;
    timer.start();
    const int rwFailures = readWriteCycles(plugin, sim, plc, Cycles);
    std::printf("soak: %d write/read cycles in %lld ms, failures %d\n", Cycles, timer.elapsed(), rwFailures);
    figures(sim, "after write/read");
    timer.restart();
    const int roundFailures = reconnectRounds(plugin, sim, plc, Reconnects);
    std::printf("soak: %d connect/disconnect/DestroyFree rounds in %lld ms, failures %d\n", Reconnects,
                timer.elapsed(), roundFailures);
    const Figures beforeHuge = figures(sim, "after reconnects");
    const int hugeFailures = hugeReplies(plugin, sim, plc, HugeReplies);
    const Figures end = figures(sim, "end");
    const long hugeGrowth = end.rssKiB - beforeHuge.rssKiB;
    std::printf("soak: %d replies of 4 MiB, failures %d, resident growth %ld KiB\n", HugeReplies,
                hugeFailures, hugeGrowth);
    const long growth = beforeHuge.rssKiB - start.rssKiB;
    std::printf("soak: growth over the cycles and rounds: resident %ld KiB; open descriptors at the end %d more\n",
                growth, end.fds - start.fds);

    const bool passed = rwFailures == 0 && roundFailures == 0 && hugeFailures == 0 && end.fds <= start.fds
                        && growth <= MaxGrowthKiB && hugeGrowth <= MaxHugeGrowthKiB;
    std::printf("soak: %s\n", passed ? "PASS" : "FAIL");
    return passed ? 0 : 1;
}
