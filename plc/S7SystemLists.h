#ifndef QUILLMARSH_S7SYSTEMLISTS_H
#define QUILLMARSH_S7SYSTEMLISTS_H

// The CPU's system state lists and clock answer, taken apart. A list is
// given as the CPU sends it: id, index, record length, record count and the
// records; only whole records within the bytes are read, so a list cut short
// gives fewer records, never bytes from past its end.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QVector>

#include "CDriveExtension.h"

namespace S7SystemLists {

// The whole records of a list, each at least minSize bytes; false for a
// list whose header is cut short or whose records are smaller.
bool records(const QByteArray &list, int minSize, QVector<QByteArray> *out);

// From the module identification (0x0011) and component identification
// (0x001C) lists; false when either holds no record we know.
bool identity(const QByteArray &moduleList, const QByteArray &componentList, CDriveExtension::CpuIdentity *out);
bool operatingState(const QByteArray &list, CDriveExtension::OperatingState *out);
bool protection(const QByteArray &list, CDriveExtension::Protection *out);
bool diagnosticBuffer(const QByteArray &list, QList<CDriveExtension::DiagnosticEvent> *out);
// The data of a clock answer; false when it holds no valid date and time.
bool clock(const QByteArray &data, QDateTime *out);

// Eight BCD bytes of date and time; a null QDateTime when they are not one.
QDateTime dateAndTime(const QByteArray &bytes);

} // namespace S7SystemLists

#endif
