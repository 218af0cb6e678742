#ifndef QUILLMARSH_SIMSERVERHOST_H
#define QUILLMARSH_SIMSERVERHOST_H

#include <memory>

#include "BenchServer.h"

class SimPlc;

// Our simulated PLC on its own thread, as a benchmark server.
class SimServerHost : public BenchServer
{
public:
    SimServerHost();
    ~SimServerHost() override;

    QString name() const override { return QStringLiteral("sim"); }
    bool start() override;
    quint16 port() const override;
    bool setBytes(int dbNumber, int offset, const QByteArray &bytes) override;
    QByteArray bytes(int dbNumber, int offset, int length) const override;
    QByteArray lastFrame() const override;
    void forgetFrames() override;

private:
    std::unique_ptr<SimPlc> plc;
};

#endif
