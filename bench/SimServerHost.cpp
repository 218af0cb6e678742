#include "SimServerHost.h"

#include "BenchCase.h"
#include "SimPlc.h"

// The frames the clients send are compared, so the log is on.
SimServerHost::SimServerHost() : plc(new SimPlc)
{
    plc->setFrameLog(true);
}

SimServerHost::~SimServerHost() = default;

// Reads find their images; a write target starts as zeros, so that a write
// that does not arrive shows.
bool SimServerHost::start()
{
    for (const BenchCase &c : BenchCase::all()) {
        const QByteArray initial = c.isWrite() ? QByteArray(c.image.size(), '\0') : c.image;
        if (!plc->setMemory(SimPlc::AreaDataBlocks, c.dbNumber, c.byteAddress, initial)) {
            error = QStringLiteral("the simulated PLC refuses the image of %1").arg(c.title);
            return false;
        }
    }
    if (!plc->start(0))
        error = plc->errorString();
    return plc->isRunning();
}

quint16 SimServerHost::port() const
{
    return plc->port();
}

QByteArray SimServerHost::bytes(int dbNumber, int offset, int length) const
{
    return plc->memory(SimPlc::AreaDataBlocks, dbNumber, offset, length);
}

QByteArray SimServerHost::lastFrame() const
{
    const QList<QByteArray> frames = plc->receivedFrames();
    return frames.isEmpty() ? QByteArray() : frames.last();
}

void SimServerHost::forgetFrames()
{
    plc->clearReceivedFrames();
}
