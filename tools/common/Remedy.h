#ifndef QUILLMARSH_REMEDY_H
#define QUILLMARSH_REMEDY_H

#include <QString>

#include "CDriveExtension.h"

// What a technician changes at the CPU or on the command line when a tag or
// job fails, from the codes of its cause (the plug-in's Why) and its record
// status: one line, empty where no setting of theirs would help.
class Remedy
{
public:
    static QString of(const CDriveExtension::Why &why, int status);
};

#endif
