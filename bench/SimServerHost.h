#ifndef QUILLMARSH_SIMSERVERHOST_H
#define QUILLMARSH_SIMSERVERHOST_H

#include <QByteArray>
#include <QString>

#include <memory>

class SimPlc;

// Our simulated PLC in this process, serving from a thread of its own on a
// free loopback port, with the memory every BenchCase reads in place.
class SimServerHost
{
public:
    SimServerHost();
    ~SimServerHost();

    // False with errorString() set when it cannot listen.
    bool start();
    quint16 port() const;
    QByteArray bytes(int dbNumber, int offset, int length) const;
    // The last request frame received; forgetFrames() empties the log.
    QByteArray lastFrame() const;
    void forgetFrames();
    QString errorString() const { return error; }

private:
    std::unique_ptr<SimPlc> plc;
    QString error;
};

#endif
