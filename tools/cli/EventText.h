#ifndef QUILLMARSH_EVENTTEXT_H
#define QUILLMARSH_EVENTTEXT_H

#include <QString>

// What a diagnostic buffer's event id says: its class (the id's high four
// bits) and, for the common events, what happened. The classes and texts
// follow the public S7 protocol dissector of Wireshark (packet-s7comm.c's
// event tables), in our own words.
class EventText
{
public:
    static QString className(quint16 eventId);
    // Empty for an event this table does not name.
    static QString text(quint16 eventId);
};

#endif
