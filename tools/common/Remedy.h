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
    // Whether the CPU refused at its protection level (or refused the object
    // in a way a password may lift).
    static bool isProtection(const CDriveExtension::Why &why);
    // What happened at a failed handshake step (a CDriveExtension::
    // ConnectStep) with the options asked, and what to try; empty for none.
    static QString ofConnect(int step, const CDriveExtension::ConnectionOptions &asked);
};

#endif
