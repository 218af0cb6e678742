#ifndef QUILLMARSH_SIMPLC_H
#define QUILLMARSH_SIMPLC_H

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <future>
#include <memory>
#include <thread>

class QEventLoop;
class SimServer;
class SimState;

// A simulated S7 CPU reachable over ISO-on-TCP. The server runs on its own
// thread, so a client that blocks its thread in socket waits still gets
// answers. Every public function is thread-safe.
class SimPlc : public QObject
{
    Q_OBJECT
public:
    enum Area { AreaInputs = 0x81, AreaOutputs = 0x82, AreaMarkers = 0x83, AreaDataBlocks = 0x84,
                AreaCounters = 0x1C, AreaTimers = 0x1D };
    // Misbehaviour for tests; it applies to every connection from the moment it is set.
    enum class Fault { None, Silent, RefuseConnect, ShortReply, LateReply, SplitReply, CloseAfterFrames,
                       Garbage, HugeReply, ByteByByte, CloseMidReply, PreviousReply };
    Q_ENUM(Area)
    Q_ENUM(Fault)

    // An S7-300 CPU in RUN. Default memory: inputs, outputs, markers, timers
    // and counters as the CPU has them; DB1, DB2 and DB10 of 1024 bytes; all
    // zero. The log of received frames is off.
    explicit SimPlc(QObject *parent = nullptr);
    ~SimPlc() override;

    // Blocks until listening; port 0 picks a free port. False when listening fails.
    bool start(quint16 port = 0, const QHostAddress &address = QHostAddress::LocalHost);
    // Closes the server and all connections and joins the server thread.
    void stop();
    quint16 port() const;
    bool isRunning() const;
    QString errorString() const;

    // The CPU answered as, by profile name (SimCpuProfile::names()): its
    // identity, limits and the sizes of I, Q, M, T and C. False for an
    // unknown name. Applies to connections opened afterwards.
    bool setCpu(const QString &profile);
    QString cpu() const;
    // PDU size granted in the setup reply (the smaller of this and the
    // request); the profile's unless set after setCpu.
    void setPduSize(int bytes);
    // RUN or STOP, as the operating-mode list tells it.
    void setCpuRunning(bool run);
    bool cpuRunning() const;
    // param: CloseAfterFrames frame count (default 1, counted from when the fault
    // is set); LateReply delay ms (default 2500); HugeReply size (default 4 MiB);
    // ByteByByte pause ms (default 50). 0 selects the default.
    void setFault(Fault fault, int param = 0);
    void setAreaSize(Area area, int bytes);
    void addDataBlock(int number, int bytes);
    void removeDataBlock(int number);
    void removeDataBlocks();
    // Copy of memory; length -1 reads to the end. Empty when out of range.
    QByteArray memory(Area area, int dbNumber = 0, int offset = 0, int length = -1) const;
    bool setMemory(Area area, int dbNumber, int offset, const QByteArray &bytes);
    bool setBit(Area area, int dbNumber, int byteAddress, int bit, bool value);

    // Logs every complete frame received, in order, over all connections
    // (the latest 10000), for tests; off by default. Off clears the log.
    void setFrameLog(bool on);
    QList<QByteArray> receivedFrames() const;
    void clearReceivedFrames();
    int connectionCount() const;
    int acceptedCount() const;
    // The address and port of each open connection's client.
    QStringList clients() const;

    // Records every frame of connections opened from now on into a pcapng
    // file of at most maxBytes (see SimCapture). False with *error set when
    // the file cannot be written.
    bool startCapture(const QString &path, qint64 maxBytes, QString *error);
    void stopCapture();

private:
    void serve(QHostAddress address, quint16 port, std::promise<bool> listening);

    std::unique_ptr<SimState> state;
    std::thread serverThread;
    // Live on the server thread while it runs; set before start() returns.
    QEventLoop *serverLoop = nullptr;
    SimServer *server = nullptr;
    quint16 listenPort = 0;
    QString listenError;
};

#endif
