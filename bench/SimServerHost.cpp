#include "SimServerHost.h"

#include "SimPlc.h"

SimServerHost::SimServerHost() : m_plc(new SimPlc) {}

SimServerHost::~SimServerHost() = default;

bool SimServerHost::start()
{
    if (!m_plc->start(0))
        m_error = m_plc->errorString();
    return m_plc->isRunning();
}

quint16 SimServerHost::port() const
{
    return m_plc->port();
}

bool SimServerHost::setBytes(int dbNumber, int offset, const QByteArray &bytes)
{
    return m_plc->setMemory(SimPlc::AreaDataBlocks, dbNumber, offset, bytes);
}

QByteArray SimServerHost::bytes(int dbNumber, int offset, int length) const
{
    return m_plc->memory(SimPlc::AreaDataBlocks, dbNumber, offset, length);
}

QByteArray SimServerHost::lastFrame() const
{
    const QList<QByteArray> frames = m_plc->receivedFrames();
    return frames.isEmpty() ? QByteArray() : frames.last();
}

void SimServerHost::forgetFrames()
{
    m_plc->clearReceivedFrames();
}
