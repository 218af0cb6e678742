#include "S7JobPipe.h"

#include <QElapsedTimer>
#include <QHash>
#include <QtEndian>

#include <limits>

#include "CmdQuillmarsh.h"
#include "S7Frame.h"
#include "S7Types.h"

namespace {

constexpr int MaxLateReferences = 16;

enum class Cut { Frame, NeedMore, Broken };

// Cuts the first whole TPKT frame off stream. What cannot start a reply
// (another TPKT version, a length no reply has, no COTP data unit) is
// Broken as soon as enough of it is there to tell.
Cut cutFrame(QByteArray &stream, QByteArray *frame)
{
    constexpr int largestReply = S7::TpktHeaderSize + S7::CotpDataHeaderSize + int(S7::RequestedPduLength);
    constexpr int shortestReply = S7::TpktHeaderSize + S7::CotpDataHeaderSize;
    const auto byte = [&](int i) { return quint8(stream.at(i)); };
    const int size = stream.size();
    if ((size > 0 && byte(0) != S7::TpktVersion) || (size > 1 && byte(1) != 0))
        return Cut::Broken;
    if (size < S7::TpktHeaderSize)
        return Cut::NeedMore;
    const int length = qFromBigEndian<quint16>(stream.constData() + S7::TpktLengthOffset);
    if (length < shortestReply || length > largestReply)
        return Cut::Broken;
    if (size > S7::CotpTpduCodeOffset
        && (byte(S7::TpktHeaderSize) != S7::CotpDataHeaderLengthIndicator || byte(S7::CotpTpduCodeOffset) != S7::CotpData))
        return Cut::Broken;
    if (size < length)
        return Cut::NeedMore;
    *frame = stream.left(length);
    stream.remove(0, length);
    return Cut::Frame;
}

// Streaming only while the pipe runs: the single jobs keep their own way of
// taking replies.
struct StreamingScope
{
    CmdQuillmarsh &cmd;
    explicit StreamingScope(CmdQuillmarsh &c) : cmd(c) { cmd.setStreaming(true); }
    ~StreamingScope() { cmd.setStreaming(false); }
};

} // namespace

int S7JobPipe::ownerOf(quint16 pduReference, const QHash<quint16, int> &waiting, const QVector<int> &lateReferences)
{
    const auto found = waiting.constFind(pduReference);
    if (found != waiting.constEnd())
        return found.value();
    // Anything else but a late reply can only be the answer of a job
    // waiting, which then fails for not naming it.
    const bool lateReply = lateReferences.contains(pduReference);
    return !lateReply && waiting.size() == 1 ? waiting.constBegin().value() : -1;
}

void S7JobPipe::noteLate(int pduReference)
{
    late.removeOne(pduReference);
    late.prepend(pduReference);
    late.resize(qMin(late.size(), MaxLateReferences));
}

QVector<S7JobPipe::Outcome> S7JobPipe::run(QVector<Job> jobs, int inFlight)
{
    QVector<Outcome> outcomes(jobs.size());
    for (Outcome &o : outcomes)
        o.result = JobNotConnected;
    if (!cmd.isConnected())
        return outcomes;
    StreamingScope scope(cmd);
    // The last single job's reply may still come: it is a late one too.
    if (cmd.lastJobReference() >= 0)
        noteLate(cmd.lastJobReference());
    // Bytes from before this run belong to no job of it: late replies of
    // jobs that gave up on them.
    cmd.dropReceived();

    QElapsedTimer clock;
    clock.start();
    QHash<quint16, int> waiting; // PDU reference -> job
    QVector<qint64> deadline(jobs.size());
    QByteArray stream;
    int next = 0;
    bool stalled = false;
    inFlight = qMax(inFlight, 1);

    const auto roomForMore = [&] {
        return !stalled && next < jobs.size() && waiting.size() < inFlight && cmd.isConnected();
    };
    while (true) {
        while (roomForMore()) {
            Job &job = jobs[next];
            ++reference;
            if (reference == S7::SetupPduReference || reference == 0)
                reference = 1;
            qToBigEndian(reference, job.request.data() + S7::PduReferenceOffset);
            outcomes[next].pduReference = reference;
            if (cmd.debugging())
                cmd.logFrame(job.label, job.logText, job.byteCount, job.request);
            cmd.sendFrame(job.request);
            stream += cmd.takeReceived();
            deadline[next] = clock.elapsed() + CmdQuillmarsh::ReplyTimeoutMs;
            waiting.insert(reference, next);
            ++next;
        }
        if (waiting.isEmpty())
            break;

        QByteArray frame;
        Cut cut;
        while ((cut = cutFrame(stream, &frame)) == Cut::Frame) {
            const int job = ownerOf(S7Frame::pduReferenceOf(frame), waiting, late);
            if (job < 0)
                continue; // a late reply to an earlier job
            waiting.remove(outcomes.at(job).pduReference);
            outcomes[job].result = JobOk;
            outcomes[job].reply = frame;
            if (cmd.debugging())
                cmd.logFrame("响应", jobs.at(job).logText, jobs.at(job).byteCount, frame);
        }
        if (cut == Cut::Broken) {
            // Nothing received before bytes that are no frame can be told
            // apart: the jobs waiting fail; the next ones start afresh.
            for (int job : qAsConst(waiting))
                outcomes[job].result = JobBadReply;
            waiting.clear();
            stream.clear();
            continue;
        }
        // A reply frees a place: the next job goes out before the wait.
        if (waiting.isEmpty() || roomForMore())
            continue;

        qint64 earliest = std::numeric_limits<qint64>::max();
        for (int job : qAsConst(waiting))
            earliest = qMin(earliest, deadline.at(job));
        const qint64 left = earliest - clock.elapsed();
        const bool more = left > 0 && cmd.waitForBytes(int(left));
        stream += cmd.takeReceived();
        if (more)
            continue;
        if (left > 0 && cmd.isConnected())
            continue; // woken without bytes; the deadline decides
        // Out of time, or the connection is gone: what waits gets no reply.
        const qint64 now = clock.elapsed();
        const bool connected = cmd.isConnected();
        for (auto it = waiting.begin(); it != waiting.end();) {
            if (!connected || deadline.at(it.value()) <= now) {
                outcomes[it.value()].result = JobNoReply;
                noteLate(it.key());
                if (cmd.debugging())
                    cmd.logFrame("响应", jobs.at(it.value()).logText, jobs.at(it.value()).byteCount, QByteArray());
                it = waiting.erase(it);
                stalled = true;
            } else {
                ++it;
            }
        }
    }
    // Jobs never sent: after an unanswered one they count as unanswered too
    // (the PLC is not answering); without a connection they were not sent.
    for (int job = next; job < jobs.size(); ++job)
        outcomes[job].result = stalled && cmd.isConnected() ? JobNoReply : JobNotConnected;
    return outcomes;
}
