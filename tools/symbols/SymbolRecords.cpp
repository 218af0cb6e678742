#include "SymbolRecords.h"

#include "CDriveBaseClass.h"
#include "StatusText.h"

SymbolRecords::Result SymbolRecords::read(CDriveBaseClass *driver, const SymbolLeaf &leaf)
{
    const SymbolLeaf::ReadRequest request = leaf.readRequest();
    Result r;
    r.leaf = leaf;
    r.record = driver->ReadVariable(request.address, request.type, request.count);
    r.cause = Cause::ofLastJob(driver, r.record);
    if (r.record.status == StatusOk)
        r.value = leaf.decodeRecord(r.record);
    return r;
}

SymbolRecords::Result SymbolRecords::write(CDriveBaseClass *driver, const SymbolLeaf &leaf, const CLabelVariable &request)
{
    Result r;
    r.leaf = leaf;
    r.record = driver->WriteVariable(request.address, request.dataType, request, request.count);
    r.cause = Cause::ofLastJob(driver, r.record);
    r.value = leaf.decodeRecord(request);   // the value as written
    return r;
}

QStringList SymbolRecords::headers()
{
    return {QStringLiteral("SYMBOL"), QStringLiteral("ADDRESS"), QStringLiteral("TYPE"), QStringLiteral("VALUE"),
            QStringLiteral("STATUS"), QStringLiteral("TIME STAMP")};
}

QStringList SymbolRecords::row(const Result &r)
{
    const QString value = r.record.status == StatusOk && r.value.ok() ? r.value.text : QString();
    return {r.leaf.symbol, r.leaf.address(), r.leaf.type.name(), value, StatusText::status(r.record.status),
            RecordOutput::timeText(r.record.timestamp)};
}

RecordOutput::Json SymbolRecords::toJson(const Result &r)
{
    RecordOutput::Json o = RecordOutput::Json::object();
    o["symbol"] = RecordOutput::utf8(r.leaf.symbol);
    o["s7type"] = RecordOutput::utf8(r.leaf.type.name());
    const RecordOutput::Json record = RecordOutput::toJson(r.record);
    for (const auto &item : record.items())
        o[item.key()] = item.value();
    RecordOutput::Json values = RecordOutput::Json::array();
    if (r.record.status == StatusOk && r.value.ok()) {
        if (r.leaf.servedType() != NoType)
            values = RecordOutput::values(r.value.value, r.leaf.servedType(), 1);
        else
            values.push_back(RecordOutput::utf8(r.value.text));
    }
    o["values"] = values;
    if (r.record.status == StatusOk && !r.value.ok())
        o["error"] = RecordOutput::utf8(r.value.error);
    RecordOutput::addCause(&o, r.cause);
    return o;
}

QString SymbolRecords::text(const QList<Result> &results, bool json)
{
    if (json) {
        if (results.size() == 1)
            return RecordOutput::dump(toJson(results.first()));
        RecordOutput::Json array = RecordOutput::Json::array();
        for (const Result &r : results)
            array.push_back(toJson(r));
        return RecordOutput::dump(array);
    }
    QList<QStringList> rows;
    QList<Cause> causes;
    for (const Result &r : results) {
        rows << row(r);
        causes << r.cause;
    }
    return RecordOutput::table(headers(), rows, causes);
}
