#ifndef QUILLMARSH_SIMSTATE_H
#define QUILLMARSH_SIMSTATE_H

#include "SimMemory.h"
#include "SimPlc.h"
#include "SimProtocol.h"
#include "SimStatusList.h"

#include <QList>
#include <QMutex>

// Everything the caller's thread and the server thread share: memory,
// settings, the log of received frames and the connection counters. Every
// member function takes the one lock.
class SimState
{
public:
    struct FaultSetting
    {
        SimPlc::Fault fault = SimPlc::Fault::None;
        int param = 0;
        quint64 generation = 0; // bumped by every setFault, so connections can restart counts
    };

    SimState();

    void setPduSize(int bytes);
    void setFault(SimPlc::Fault fault, int param);
    FaultSetting fault() const;

    void resize(int area, int dbNumber, int bytes);
    void addDataBlock(int number, int bytes);
    void removeDataBlock(int number);
    void removeDataBlocks();
    QByteArray memory(int area, int dbNumber, int offset, int length) const;
    bool setMemory(int area, int dbNumber, int offset, const QByteArray &bytes);

    void recordFrame(const QByteArray &frame);
    QList<QByteArray> receivedFrames() const;
    void clearReceivedFrames();
    SimProtocol::Outcome answer(SimProtocol &protocol, const QByteArray &frame);

    void connectionOpened();
    void connectionClosed();
    void resetCounters();
    int connectionCount() const;
    int acceptedCount() const;

private:
    static int defaultParam(SimPlc::Fault fault);

    mutable QMutex mutex;
    SimMemory cpuMemory;
    const SimStatusList statusList;
    int pduSize;
    FaultSetting faultSetting;
    QList<QByteArray> frames;
    int openConnections = 0;
    int acceptedConnections = 0;
};

#endif
