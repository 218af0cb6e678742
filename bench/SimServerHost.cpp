#include "SimServerHost.h"

#include "SimPlc.h"

// The runner compares the frames the clients send, so the log is on.
SimServerHost::SimServerHost() : plc(new SimPlc)
{
    plc->setFrameLog(true);
}

SimServerHost::~SimServerHost() = default;

bool SimServerHost::start()
{
    if (!plc->start(0))
        error = plc->errorString();
    return plc->isRunning();
}

quint16 SimServerHost::port() const
{
    return plc->port();
}

bool SimServerHost::setBytes(int dbNumber, int offset, const QByteArray &bytes)
{
    return plc->setMemory(SimPlc::AreaDataBlocks, dbNumber, offset, bytes);
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
