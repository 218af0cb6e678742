#ifndef QUILLMARSH_BENCHCLIENT_H
#define QUILLMARSH_BENCHCLIENT_H

#include <QString>

#include "BenchCase.h"

// A client under measurement. perform() is the operation alone, the span
// that is timed and counted; check() looks at its answer afterwards.
class BenchClient
{
public:
    virtual ~BenchClient() = default;
    virtual QString name() const = 0;
    // TCP connection plus both handshake steps; false with errorString() set.
    virtual bool connectTo(quint16 port) = 0;
    virtual void disconnect() = 0;
    virtual void perform(const BenchCase &c) = 0;
    // True when the last operation's answer is right; else errorString() says why.
    virtual bool check(const BenchCase &c) = 0;
    QString errorString() const { return error; }

protected:
    QString error;
};

// One operation of a client, out of line under a plain C name: callgrind's
// --toggle-collect counts the instructions executed inside it and nothing else.
extern "C" void quillmarsh_bench_operation(BenchClient *client, const BenchCase *c);

#endif
