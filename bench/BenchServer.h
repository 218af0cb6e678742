#ifndef QUILLMARSH_BENCHSERVER_H
#define QUILLMARSH_BENCHSERVER_H

#include <QByteArray>
#include <QString>

// An S7 server that the clients are measured against, in this process on a
// free loopback port and serving from threads of its own.
class BenchServer
{
public:
    virtual ~BenchServer() = default;
    virtual QString name() const = 0;
    // False with errorString() set when it cannot listen.
    virtual bool start() = 0;
    virtual quint16 port() const = 0;
    virtual bool setBytes(int dbNumber, int offset, const QByteArray &bytes) = 0;
    virtual QByteArray bytes(int dbNumber, int offset, int length) const = 0;
    // The last request frame received, where the server keeps them.
    virtual QByteArray lastFrame() const { return QByteArray(); }
    virtual void forgetFrames() {}
    QString errorString() const { return error; }

protected:
    QString error;
};

#endif
