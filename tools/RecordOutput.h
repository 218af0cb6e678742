#ifndef QUILLMARSH_RECORDOUTPUT_H
#define QUILLMARSH_RECORDOUTPUT_H

#include <QString>
#include <QStringList>

#include "CLabelVariable.h"

// How one tag record is shown: as a table row (address, type, value,
// status, time stamp) or as one line of JSON.
class RecordOutput
{
public:
    static QStringList headers();
    static QStringList row(const CLabelVariable &record);
    // {"address":…, "type":…, "count":…, "values":[…], "status":…,
    //  "statusText":…, "timestamp":…}. Numbers are written exactly as the
    // plain output shows them (64-bit integers keep every digit); JSON has no
    // inf or nan, so those become null.
    static QString json(const CLabelVariable &record);
    // The record as printed by read and write: JSON, or a one-row table.
    static QString text(const CLabelVariable &record, bool json);
    static QString timeText(const QDateTime &time);
    // A JSON string literal of the text, quotes and control characters escaped.
    static QString quoted(const QString &text);

private:
    static QString jsonValues(const CLabelVariable &record);
};

#endif
