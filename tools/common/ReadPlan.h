#ifndef QUILLMARSH_READPLAN_H
#define QUILLMARSH_READPLAN_H

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QVector>

#include "CLabelVariable.h"
#include "S7Memory.h"
#include "TagSpec.h"

// How a poll reads its tags. The tags of one memory area or data block are
// merged into as few jobs as they can: each job one read of bytes (UInt8)
// through the plug-in, no longer than one reply of the PDU carries, and each
// tag decoded from the job's bytes by the rules the plug-in applies to its
// own read. A tag is read alone when its address text does not tell its
// area, block, byte and bit for certain, when it is too long for one job,
// when it was set apart after a failed read, and every tag when merging is
// off.
class ReadPlan
{
public:
    // The cost rule for gaps. Another job costs a round trip and the frames
    // around it (request 31 bytes, reply header 25); reading through a gap
    // costs the gap's bytes in the reply. A round trip to an S7 CPU takes at
    // least 0.5 ms (its communication answers no faster on a switched LAN),
    // in which the slowest link in use, 10 Mbit/s, carries 625 bytes. So a
    // gap of up to 625 + 56 bytes is read through; a longer one starts
    // another job. Below a PDU of 700 every gap that fits a job is cheaper.
    static constexpr int kMinRoundTripUs = 500;
    static constexpr int kSlowLinkBytesPerMs = 1250;
    static constexpr int kJobFrameBytes = 31 + 25;
    static constexpr int kMaxGapBytes = kMinRoundTripUs * kSlowLinkBytesPerMs / 1000 + kJobFrameBytes;

    // The bytes the plug-in reads for a tag.
    struct Location
    {
        int area = 0;
        int dbNumber = 0;
        int byte = 0;
        int bit = 0;
        int length = 0;
    };

    struct Job
    {
        QList<int> tags;       // indexes into the tag list, by byte; one for a tag's own read
        bool merged = false;   // one read of bytes for every tag, else the tag's own read
        QString address;       // of the merged read
        int start = 0;         // its first byte
        int length = 0;        // its bytes
    };

    explicit ReadPlan(const QList<TagSpec> &tags, int pduBytes = S7::MinimumPduLength, bool merge = true);

    // The jobs of one poll, ordered by their first tag in the list.
    const QList<Job> &jobs();
    int maxJobBytes() const { return pdu - S7::ReadReplyOverhead; }
    // Sets a tag apart (read alone from the next poll on), or lets it merge again.
    void setAlone(int tag, bool alone);
    bool isAlone(int tag) const { return alone.contains(tag); }

    // The record the tag's own read would give, decoded from the bytes of a
    // merged job that read jobBytes from byte jobStart on.
    CLabelVariable decode(int tag, const QByteArray &jobBytes, int jobStart, const QDateTime &time) const;

    // Where the plug-in reads a tag; false when its address text is not one
    // of the forms whose area, block, byte and bit are certain (M10.3,
    // DB1.DBW20, DB1.DBX10.3, V100), or the read would pass the highest byte.
    static bool locate(const TagSpec &tag, Location *where);
    // The value the plug-in makes of the bytes of its read of the tag:
    // big-endian elements; for Bool, of every byte the bits from the tag's
    // bit up to bit 7.
    static QVariant valueOf(DataType type, int bit, int count, const QByteArray &bytes);
    // The address text of a read of bytes from start on.
    static QString byteAddress(const Location &where, int start);

private:
    void plan();
    void planGroup(QList<int> members);
    void addJob(const QList<int> &members, int start, int end);

    QList<TagSpec> tags;
    QVector<Location> locations;
    QVector<bool> located;
    int pdu;
    bool merging;
    QSet<int> alone;
    QList<Job> planned;
    bool dirty = true;
};

#endif
