#include "Cause.h"

#include "Remedy.h"
#include "ResultCodes.h"

Cause Cause::ofLastJob(CDriveBaseClass *driver, const CLabelVariable &record)
{
    if (record.status == StatusOk)
        return Cause();
    CDriveExtension *more = driveExtension(driver);
    return of(more, more ? more->lastJobWhy() : CDriveExtension::Why(), record.status);
}

QList<Cause> Cause::ofBatch(CDriveExtension *more, const QList<CLabelVariable> &records)
{
    const QList<CDriveExtension::Why> why = more->lastWhy();
    QList<Cause> causes;
    for (int i = 0; i < records.size(); ++i)
        causes << (records.at(i).status == StatusOk ? Cause() : of(more, why.value(i), records.at(i).status));
    return causes;
}

Cause Cause::of(CDriveExtension *more, const CDriveExtension::Why &why, int status)
{
    Cause cause;
    cause.text = why.text;
    cause.remedy = Remedy::of(why, status);
    CDriveExtension::Protection protection;
    if (more && Remedy::isProtection(why) && more->readProtection(&protection, nullptr) == StatusOk)
        cause.remedy = QStringLiteral("protection level %1 in force: %2").arg(protection.level).arg(cause.remedy);
    return cause;
}
