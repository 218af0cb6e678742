#ifndef QUILLMARSH_BENCHCLIENT_H
#define QUILLMARSH_BENCHCLIENT_H

#include <QString>

#include <chrono>

#include "BenchCase.h"

// A client under measurement. run() times only the call that does the
// operation; the answer is checked afterwards, outside the timed span.
class BenchClient
{
public:
    virtual ~BenchClient() = default;
    virtual QString name() const = 0;
    // TCP connection plus both handshake steps; false with errorString() set.
    virtual bool connectTo(quint16 port) = 0;
    virtual void disconnect() = 0;
    // One operation; false (with errorString() set) when the answer is wrong.
    virtual bool run(const BenchCase &c, std::chrono::nanoseconds *elapsed) = 0;
    QString errorString() const { return error; }

protected:
    QString error;
};

#endif
