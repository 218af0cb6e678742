#ifndef QUILLMARSH_CAUSE_H
#define QUILLMARSH_CAUSE_H

#include <QList>
#include <QString>

#include "CDriveExtension.h"
#include "CLabelVariable.h"

// Why a record failed, in the plug-in's words, and the one line of what to
// change (Remedy): what read and write show beside a failed record. Where
// the CPU's protection refused, the remedy names the level in force.
class Cause
{
public:
    QString text;   // empty without the plug-in's extension
    QString remedy; // empty where no setting would help

    bool isEmpty() const { return text.isEmpty() && remedy.isEmpty(); }

    // Of the record the driver's last ReadVariable or WriteVariable returned.
    static Cause ofLastJob(CDriveBaseClass *driver, const CLabelVariable &record);
    // Of each record of the extension's last batch.
    static QList<Cause> ofBatch(CDriveExtension *more, const QList<CLabelVariable> &records);

private:
    static Cause of(CDriveExtension *more, const CDriveExtension::Why &why, int status);
};

#endif
