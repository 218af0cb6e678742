#ifndef QUILLMARSH_S7CONNECTFRAMES_H
#define QUILLMARSH_S7CONNECTFRAMES_H

// The two handshake requests as a host's connection options shape them, and
// what the PLC granted in its setup reply. The default options give the
// bytes a plain ConnectDrive sends.

#include <QByteArray>

#include "CDriveExtension.h"

namespace S7ConnectFrames {

using Options = CDriveExtension::ConnectionOptions;
using Negotiated = CDriveExtension::Negotiated;

// True when every field is within its range.
bool valid(const Options &options);
// The called TSAP the options name.
quint16 remoteTsap(const Options &options);

// COTP connection request: TPDU size 1024 and both TSAPs, in the options' order.
QByteArray connectRequest(const Options &options);
// S7 setup communication job asking for the options' PDU size and jobs.
QByteArray setupCommunication(const Options &options);
// The PDU size and the jobs of a setup reply; false (and *granted
// untouched) for a reply that is not an error-free setup ack-data.
bool readSetupReply(const QByteArray &reply, Negotiated *granted);

} // namespace S7ConnectFrames

#endif
