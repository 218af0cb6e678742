#include "SimSignalPlayer.h"

#include "SimPlc.h"
#include "SimSet.h"

#include <QRandomGenerator>

namespace {
constexpr int UpdateMs = 100;
}

SimSignalPlayer::SimSignalPlayer(SimPlc *target, const QList<SimSignal> &signalList, QObject *parent)
    : QObject(parent), plc(target), generators(signalList)
{
    connect(&ticker, &QTimer::timeout, this, [this] { update(clock.elapsed()); });
}

void SimSignalPlayer::start()
{
    clock.start();
    update(0);
    if (!generators.isEmpty())
        ticker.start(UpdateMs);
}

bool SimSignalPlayer::update(qint64 elapsedMs)
{
    bool allFit = true;
    for (const SimSignal &signal : qAsConst(generators)) {
        const QByteArray bytes = signal.bytesAt(elapsedMs, QRandomGenerator::global()->generateDouble());
        allFit &= SimSet::write(plc, signal.address(), bytes);
    }
    return allFit;
}
