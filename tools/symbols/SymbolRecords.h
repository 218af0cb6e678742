#ifndef QUILLMARSH_SYMBOLRECORDS_H
#define QUILLMARSH_SYMBOLRECORDS_H

#include <QList>
#include <QString>

#include "CLabelVariable.h"
#include "RecordOutput.h"
#include "S7Codec.h"
#include "SymbolLeaf.h"

class CDriveBaseClass;

// Reads and writes of leaves through a driver object, one job per leaf, and
// how read and write print them: a table with the symbol and S7 type in
// front, or JSON with the keys of RecordOutput plus "symbol" and "s7type"
// ("values" holds the decoded value; "error" says why bytes held none).
class SymbolRecords
{
public:
    struct Result
    {
        SymbolLeaf leaf;
        CLabelVariable record;   // as the plug-in answered
        S7Codec::Value value;    // decoded from the record
        Cause cause;             // of a failed job
        bool ok() const { return record.status == StatusOk && value.ok(); }
    };

    static Result read(CDriveBaseClass *driver, const SymbolLeaf &leaf);
    // request is the record leaf.writeRecord() made.
    static Result write(CDriveBaseClass *driver, const SymbolLeaf &leaf, const CLabelVariable &request);

    static QStringList headers();
    static QStringList row(const Result &r);
    static RecordOutput::Json toJson(const Result &r);
    // One object for one result, an array for several; or a table.
    static QString text(const QList<Result> &results, bool json);
};

#endif
