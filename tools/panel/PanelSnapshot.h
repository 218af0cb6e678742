#ifndef QUILLMARSH_PANELSNAPSHOT_H
#define QUILLMARSH_PANELSNAPSHOT_H

#include <QtGlobal>

#include <string>

// What the panel's poller published last: never changed once published, so
// that any number of HTTP handlers can read it while the poller goes on.
struct PanelSnapshot
{
    quint64 sequence = 0;   // counts publications: polls and reconnect attempts
    std::string json;       // the /api/tags document, one line
    std::string event;      // the same as one Server-Sent Event
};

#endif
