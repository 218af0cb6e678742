#ifndef QUILLMARSH_RECORDOUTPUT_H
#define QUILLMARSH_RECORDOUTPUT_H

#include <QString>
#include <QStringList>

#include <nlohmann/json.hpp>

#include "CLabelVariable.h"
#include "Cause.h"

// How one tag record is shown: as a table row (address, type, value,
// status, time stamp) or as one line of JSON.
class RecordOutput
{
public:
    // Objects keep their keys in the order they were written.
    using Json = nlohmann::ordered_json;

    static QStringList headers();
    static QStringList row(const CLabelVariable &record);
    // {"address":…, "type":…, "count":…, "values":[…], "status":…,
    //  "statusText":…, "timestamp":…}. Integers are JSON integers with every
    // digit of 64-bit values; floats are the numbers the plain output shows;
    // Bools are true and false; JSON has no inf or nan, so those become null.
    static Json toJson(const CLabelVariable &record);
    static QString json(const CLabelVariable &record);
    // The elements of the record's value as JSON values, as in toJson().
    static Json values(const QVariant &value, DataType type, int count);
    // The record as printed by read and write: JSON, or a one-row table;
    // with the cause of its failure, as table() and addCause() show it.
    static QString text(const CLabelVariable &record, bool json, const Cause &cause = Cause());
    // Records of a batch with the cause of each failure: a table, or
    // {"records":[…]} with each failed record's cause in its object.
    static QString batchText(const QList<CLabelVariable> &records, const QList<Cause> &causes, bool json);
    // "cause" and "remedy" keys, each where there is one.
    static void addCause(Json *object, const Cause &cause);
    // A table of rows, with a CAUSE column when any row failed with one,
    // and below it each remedy once, with the rows (by first column) it is for.
    static QString table(const QStringList &headers, const QList<QStringList> &rows, const QList<Cause> &causes);
    static QString timeText(const QDateTime &time);
    // The JSON time stamp text, or null for an invalid time.
    static Json jsonTime(const QDateTime &time);
    // One line of JSON text; invalid UTF-8 would be replaced, never thrown on.
    static QString dump(const Json &json);
    static std::string utf8(const QString &text) { return text.toUtf8().toStdString(); }
};

#endif
