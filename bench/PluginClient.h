#ifndef QUILLMARSH_PLUGINCLIENT_H
#define QUILLMARSH_PLUGINCLIENT_H

#include "BenchClient.h"
#include "CDriveBaseClass.h"
#include "CDriveExtension.h"
#include "DriverPlugin.h"

#include <memory>

// The plug-in as a host drives it: loaded with QLibrary, one driver object
// from getSharedLibrary, every operation through the host interface (a
// batch through its extension).
class PluginClient : public BenchClient
{
public:
    // Creates the driver object from the plug-in at path; false with
    // errorString() set.
    bool load(const QString &path);
    QString name() const override { return QStringLiteral("plug-in"); }
    bool connectTo(quint16 port) override;
    void disconnect() override;
    void perform(const BenchCase &c) override;
    bool check(const BenchCase &c) override;

private:
    std::unique_ptr<DriverPlugin> plugin; // releases the driver object
    CDriveBaseClass *driver = nullptr;
    CDriveExtension *extension = nullptr;
    QList<CDriveExtension::Tag> batchTags;
    QList<CLabelVariable> batchRecords; // the last batch's answer
    CLabelVariable writeValue; // the record a host hands to WriteVariable
    CLabelVariable record;     // the last operation's answer
};

#endif
