#ifndef QUILLMARSH_PLUGINCLIENT_H
#define QUILLMARSH_PLUGINCLIENT_H

#include "BenchClient.h"
#include "CDriveBaseClass.h"

// The plug-in as a host drives it: loaded with QLibrary, one driver object
// from getSharedLibrary, every operation through the host interface.
class PluginClient : public BenchClient
{
public:
    ~PluginClient() override;

    // The plug-in to load: the given path, else $QUILLMARSH_PLUGIN, else
    // libQuillmarsh.so beside this program.
    static QString locate(const QString &path);
    // The factory of the plug-in at path, or nullptr with *error set. The
    // library stays loaded for the life of the process.
    static GetSharedLibraryFn factory(const QString &path, QString *error);
    // Deletes a driver object the way its owner must: through QObject.
    static void release(CDriveBaseClass *driver);

    // Creates the driver object; false with errorString() set.
    bool load(const QString &path);
    QString name() const override { return QStringLiteral("plug-in"); }
    bool connectTo(quint16 port) override;
    void disconnect() override;
    bool run(const BenchCase &c, std::chrono::nanoseconds *elapsed) override;

private:
    bool checkRecord(const BenchCase &c, CLabelVariable &record);

    CDriveBaseClass *m_driver = nullptr;
    CLabelVariable m_writeValue; // the record a host hands to WriteVariable
};

#endif
