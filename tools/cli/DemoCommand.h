#ifndef QUILLMARSH_DEMOCOMMAND_H
#define QUILLMARSH_DEMOCOMMAND_H

#include <QStringList>

#include "CLabelVariable.h"

class CDriveBaseClass;
struct DemoTag;

// `quillmarsh demo`: starts the simulated PLC in this process on a free
// loopback port, writes a sample value of every data type to a data block
// and to markers, reads each one back and prints the table.
class DemoCommand
{
public:
    static int run(const QStringList &arguments);

private:
    // Writes the tag, reads it back; false when a step failed or the value
    // read differs from the one written. *shown is the record for the table.
    static bool roundTrip(CDriveBaseClass *driver, const DemoTag &tag, CLabelVariable *shown,
                          QString *problem);
};

#endif
