#include "PluginClient.h"

#include <QtEndian>

#include <algorithm>

namespace {

// Odd lengths and bits among whole bytes, in four areas, as a plant's tag
// list mixes them: a batch of jobs with many items, some of them merged.
QList<CDriveExtension::Tag> batchTags()
{
    const struct { DataType type; int count; } kinds[] = {
        {Bool, 1}, {Int8, 3}, {UInt16, 1}, {Bool, 9}, {Int32, 1}, {UInt8, 1}, {Float, 1}, {Int16, 1}, {UInt32, 1}};
    const char *areas[] = {"I%1", "M%1", "DB1.DBB%1", "DB2.DBB%1"};
    QList<CDriveExtension::Tag> tags;
    for (int i = 0; i < BenchCase::BatchTags; ++i) {
        CDriveExtension::Tag tag;
        tag.type = kinds[i % 9].type;
        tag.count = kinds[i % 9].count;
        tag.address = QString::fromLatin1(areas[i % 4]).arg(i / 4 * 3);
        if (tag.type == Bool)
            tag.address = tag.address.replace(QLatin1String("DBB"), QLatin1String("DBX"))
                    + QStringLiteral(".%1").arg(i % 8);
        tags << tag;
    }
    return tags;
}

} // namespace

bool PluginClient::load(const QString &path)
{
    plugin = std::make_unique<DriverPlugin>(path);
    driver = plugin->create();
    if (!driver)
        error = plugin->errorString();
    extension = driver ? driveExtension(driver) : nullptr;
    batchTags = ::batchTags();
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
    if (c.kind == BenchCase::ReadBatch) {
        if (extension)
            batchRecords = extension->readVariables(batchTags);
        return;
    }
    if (c.isWrite() && writeValue.value.isNull())
        writeValue.value = QVariant::fromValue(QList<int>{qFromBigEndian<qint32>(c.image.constData())});
    record = c.isWrite() ? driver->WriteVariable(c.address, c.type, writeValue, c.count)
                         : driver->ReadVariable(c.address, c.type, c.count);
}

// The record's status and, for a read, its elements against the PLC image;
// for a batch, every record's status.
bool PluginClient::check(const BenchCase &c)
{
    if (c.kind == BenchCase::ReadBatch) {
        const bool ok = batchRecords.size() == c.count
                && std::all_of(batchRecords.begin(), batchRecords.end(),
                               [](const CLabelVariable &r) { return r.status == StatusOk; });
        if (!ok)
            error = extension ? QStringLiteral("a record of the batch failed")
                              : QStringLiteral("the plug-in has no extension");
        return ok;
    }
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
