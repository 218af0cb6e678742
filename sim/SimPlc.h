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
    // How a data block is reached by absolute addresses: an optimized one
    // has none, and is answered as if it did not exist.
    enum class BlockAccess { ReadWrite, ReadOnly, Optimized };
    Q_ENUM(Area)
    Q_ENUM(Fault)
    Q_ENUM(BlockAccess)

    // An S7-1200 CPU in RUN, reached with the called TSAP 03.00 (rack 0,
    // slot 0 or 1, as PG, OP or S7 basic). Default memory: inputs, outputs,
    // markers, timers and counters as the CPU has them; DB1, DB2 and DB10 of
    // 1024 bytes; all zero. The log of received frames is off.
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
    // identity, TSAPs, limits and the sizes of I, Q, M, T and C (a CPU with
    // V memory also replaces the data blocks by it). The settings below go
    // back to the profile's. False for an unknown name. Applies to
    // connections opened afterwards.
    bool setCpu(const QString &profile);
    QString cpu() const;
    // Who may connect: the called TSAPs of rack and slot (of each
    // connection type the CPU serves), or exactly the calling and called
    // TSAP given (a configured connection, as a LOGO! has). A connection
    // request for other TSAPs is reset, and connectionRefused() says so.
    void setRackSlot(int rack, int slot);
    void setTsaps(quint16 calling, quint16 called);
    // PUT/GET access from remote partners; off, every read and write job is
    // refused. False when the CPU has no such switch (S7-1200, S7-1500).
    bool setPutGet(bool on);
    bool putGet() const;
    // Protection level 1 (none), 2 (writes refused) or 3 and, on an
    // S7-1200/1500, 4 (reads refused too), lifted for a connection by its
    // session password of 1 to 8 characters. False for a level the CPU
    // lacks or a missing password.
    bool setProtection(int level, const QString &password);
    int protectionLevel() const;
    // The CPU's clock: the machine's, plus this offset; a client that sets
    // the clock changes it.
    void setClockOffset(qint64 ms);
    qint64 clockOffset() const;
    // PDU size granted in the setup reply (the smaller of this and the
    // request); the profile's unless set after setCpu.
    void setPduSize(int bytes);
    // RUN or STOP, as the operating-mode list tells it; set as the mode
    // selector sets it (a client may stop and start the CPU too).
    void setCpuRunning(bool run);
    bool cpuRunning() const;
    // param: CloseAfterFrames frame count (default 1, counted from when the fault
    // is set); LateReply delay ms (default 2500); HugeReply size (default 4 MiB);
    // ByteByByte pause ms (default 50). 0 selects the default.
    void setFault(Fault fault, int param = 0);
    void setAreaSize(Area area, int bytes);
    void addDataBlock(int number, int bytes, BlockAccess access = BlockAccess::ReadWrite);
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
    // The address and port of each open connection's client, and the TSAPs
    // it asked for: "127.0.0.1:40000 calling 10.00 called 03.00".
    QStringList clients() const;

    // Records every frame of connections opened from now on into a pcapng
    // file of at most maxBytes (see SimCapture). False with *error set when
    // the file cannot be written.
    bool startCapture(const QString &path, qint64 maxBytes, QString *error);
    void stopCapture();

signals:
    // One line for each connection request that is reset: the client, the
    // TSAPs it asked for and those the CPU serves, or that the CPU's
    // connections are all in use. Emitted on the server thread.
    void connectionRefused(const QString &line);

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
