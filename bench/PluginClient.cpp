#include "PluginClient.h"

#include <QtEndian>

#include <algorithm>

bool PluginClient::load(const QString &path)
{
    plugin = std::make_unique<DriverPlugin>(path);
    driver = plugin->create();
    if (!driver)
        error = plugin->errorString();
    return driver != nullptr;
}

bool PluginClient::connectTo(quint16 port)
{
    const int result = driver->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(port));
    if (result != ConnectOk)
        error = QStringLiteral("ConnectDrive answered %1").arg(result);
    return result == ConnectOk;
}

void PluginClient::disconnect()
{
    driver->DisConnectDrive();
}

void PluginClient::perform(const BenchCase &c)
{
    if (c.isWrite() && writeValue.value.isNull())
        writeValue.value = QVariant::fromValue(QList<int>{qFromBigEndian<qint32>(c.image.constData())});
    record = c.isWrite() ? driver->WriteVariable(c.address, c.type, writeValue, c.count)
                         : driver->ReadVariable(c.address, c.type, c.count);
}

// The record's status and, for a read, its elements against the PLC image.
bool PluginClient::check(const BenchCase &c)
{
    bool ok = record.status == StatusOk;
    if (ok && c.kind == BenchCase::ReadInt32)
        ok = record.getInt32(0) == qFromBigEndian<qint32>(c.image.constData()) && record.accessStatus == AccessOk;
    if (ok && c.kind == BenchCase::ReadBytes) {
        const QList<uchar> elements = record.value.value<QList<uchar>>();
        ok = elements.size() == c.image.size()
                && std::equal(elements.begin(), elements.end(), c.image.constBegin(),
                              [](uchar a, char b) { return a == uchar(b); });
    }
    if (!ok)
        error = QStringLiteral("record with status %1 and value %2").arg(record.status).arg(record.value.toString());
    return ok;
}
