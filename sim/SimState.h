#ifndef QUILLMARSH_SIMSTATE_H
#define QUILLMARSH_SIMSTATE_H

#include "SimCapture.h"
#include "SimMemory.h"
#include "SimPlc.h"
#include "SimProtocol.h"
#include "SimStatusList.h"

#include <QList>
#include <QMap>
#include <QMutex>

#include <memory>

class SimCpuProfile;

// Everything the caller's thread and the server thread share: the CPU (its
// profile, state and memory), settings, the log of received frames, the
// open connections and the capture. Every member function takes the one
// lock; the capture keeps a lock of its own.
class SimState
{
public:
    struct FaultSetting
    {
        SimPlc::Fault fault = SimPlc::Fault::None;
        int param = 0;
        quint64 generation = 0; // bumped by every setFault, so connections can restart counts
    };
    // What a new connection is told to use.
    struct Connection
    {
        quint64 id = 0;
        quint16 reference = 0; // the CPU's COTP reference
        quint8 sequence = 0;   // the sequence number of its user-data answers
    };

    SimState();
    ~SimState();

    void setCpu(const SimCpuProfile &profile);
    const SimCpuProfile &cpu() const;
    void setPduSize(int bytes);
    void setRunning(bool run);
    bool running() const;
    void setFault(SimPlc::Fault fault, int param);
    FaultSetting fault() const;

    void resize(int area, int dbNumber, int bytes);
    void addDataBlock(int number, int bytes);
    void removeDataBlock(int number);
    void removeDataBlocks();
    QByteArray memory(int area, int dbNumber, int offset, int length) const;
    bool setMemory(int area, int dbNumber, int offset, const QByteArray &bytes);
    bool setBit(int area, int dbNumber, int byteAddress, int bit, bool value);

    void setFrameLog(bool on);
    void recordFrame(const QByteArray &frame);
    QList<QByteArray> receivedFrames() const;
    void clearReceivedFrames();
    SimProtocol::Outcome answer(SimProtocol &protocol, const QByteArray &frame);

    Connection connectionOpened(const QString &peer);
    void connectionClosed(quint64 id);
    void resetCounters();
    int connectionCount() const;
    int acceptedCount() const;
    QStringList clients() const;

    SimCapture &capture() { return pcap; }

private:
    static int defaultParam(SimPlc::Fault fault);

    mutable QMutex mutex;
    SimMemory cpuMemory;
    const SimCpuProfile *profile;
    std::unique_ptr<SimStatusList> statusList;
    int pduSize;
    bool run = true;
    FaultSetting faultSetting;
    bool logFrames = false;
    QList<QByteArray> frames;
    QMap<quint64, QString> openConnections; // by id: the client's address and port
    int acceptedConnections = 0;
    quint64 lastConnection = 0;
    SimCapture pcap;
};

#endif
