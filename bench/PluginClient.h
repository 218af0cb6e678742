#ifndef QUILLMARSH_PLUGINCLIENT_H
#define QUILLMARSH_PLUGINCLIENT_H

#include "BenchClient.h"
#include "CDriveBaseClass.h"
#include "DriverPlugin.h"

#include <memory>

// The plug-in as a host drives it: loaded with QLibrary, one driver object
// from getSharedLibrary, every operation through the host interface.
class PluginClient : public BenchClient
{
public:
    // Creates the driver object from the plug-in at path; false with
    // errorString() set.
    bool load(const QString &path);
    QString name() const override { return QStringLiteral("plug-in"); }
    bool connectTo(quint16 port) override;
    void disconnect() override;
    bool run(const BenchCase &c, std::chrono::nanoseconds *elapsed) override;

private:
    bool checkRecord(const BenchCase &c, CLabelVariable &record);

    std::unique_ptr<DriverPlugin> plugin; // releases the driver object
    CDriveBaseClass *driver = nullptr;
    CLabelVariable writeValue; // the record a host hands to WriteVariable
};

#endif
