#ifndef QUILLMARSH_SIMSTATE_H
#define QUILLMARSH_SIMSTATE_H

#include "SimCapture.h"
#include "SimCpuState.h"
#include "SimMemory.h"
#include "SimPlc.h"
#include "SimProtocol.h"
#include "SimStatusList.h"

#include <QList>
#include <QMap>
#include <QMutex>

#include <functional>
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

    // A new CPU: its memory areas, its data blocks when it serves V memory,
    // and a fresh state (RUN, no protection, its TSAPs, the machine's clock).
    void setCpu(const SimCpuProfile &profile);
    const SimCpuProfile &cpu() const;
    void setPduSize(int bytes);
    void setRunning(bool run);
    bool running() const;
    void setRackSlot(int rack, int slot);
    void setTsaps(quint16 calling, quint16 called);
    bool setPutGet(bool on);
    bool putGet() const;
    bool setProtection(int level, const QString &password);
    int protectionLevel() const;
    void setClockOffsetMs(qint64 ms);
    qint64 clockOffsetMs() const;
    void setFault(SimPlc::Fault fault, int param);
    FaultSetting fault() const;

    void resize(int area, int dbNumber, int bytes);
    void addDataBlock(int number, int bytes, SimMemory::BlockAccess access);
    void removeDataBlock(int number);
    void removeDataBlocks();
    QByteArray memory(int area, int dbNumber, int offset, int length) const;
    bool setMemory(int area, int dbNumber, int offset, const QByteArray &bytes);
    bool setBit(int area, int dbNumber, int byteAddress, int bit, bool value);

    void setFrameLog(bool on);
    void recordFrame(const QByteArray &frame);
    QList<QByteArray> receivedFrames() const;
    void clearReceivedFrames();
    // The protocol's outcome for a frame of connection id; a connection
    // request beyond the CPU's connections is reset.
    SimProtocol::Outcome answer(quint64 id, SimProtocol &protocol, const QByteArray &frame);

    Connection connectionOpened(const QString &peer);
    void connectionClosed(quint64 id);
    void resetCounters();
    int connectionCount() const;
    int acceptedCount() const;
    QStringList clients() const;
    // Called, on the server thread and without the lock, with each line
    // about a refused connection.
    void setRefusalHandler(std::function<void(const QString &)> handler);
    void reportRefusal(const QString &line) const;

    SimCapture &capture() { return pcap; }

private:
    // An open connection: its client, the TSAPs it asked for and the pool
    // of connections it takes a place in, once its request was taken.
    struct Client
    {
        QString peer;
        QString tsaps;
        bool admitted = false;
        bool pg = false;
    };

    static int defaultParam(SimPlc::Fault fault);
    QString admit(quint64 id, const SimProtocol &protocol);

    mutable QMutex mutex;
    SimMemory cpuMemory;
    const SimCpuProfile *profile;
    std::unique_ptr<SimStatusList> statusList;
    std::unique_ptr<SimCpuState> cpuState;
    int pduSize;
    FaultSetting faultSetting;
    bool logFrames = false;
    QList<QByteArray> frames;
    QMap<quint64, Client> openConnections;
    int acceptedConnections = 0;
    quint64 lastConnection = 0;
    std::function<void(const QString &)> refusalHandler;
    SimCapture pcap;
};

#endif
