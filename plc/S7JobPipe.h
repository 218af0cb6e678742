#ifndef QUILLMARSH_S7JOBPIPE_H
#define QUILLMARSH_S7JOBPIPE_H

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

class CmdQuillmarsh;

// Runs a list of jobs over the connection with up to a given number of them
// unanswered at a time, and hands each job the reply frame that carries its
// PDU reference (a reply naming none of them goes to the one job waiting,
// if only one is and the reply is no late one). Replies are cut from the
// received bytes as whole TPKT frames; each job waits at most the reply wait
// of a single job, and once one has gone unanswered no further job is sent.
// Everything happens on the calling thread, inside the socket's own waits.
class S7JobPipe
{
public:
    struct Job
    {
        QByteArray request;   // its PDU reference is set by the pipe
        const char *label;    // the log's word for the job
        QString logText;      // and what it concerns
        int byteCount = 0;
    };
    // result: JobOk (reply holds the frame), JobNoReply (none in time, or not
    // sent after an earlier job went unanswered), JobNotConnected (not sent),
    // JobBadReply (the received bytes could not be cut into frames).
    struct Outcome
    {
        int result = 0;
        quint16 pduReference = 0;
        QByteArray reply;
    };

    explicit S7JobPipe(CmdQuillmarsh &connection) : cmd(connection) {}

    QVector<Outcome> run(QVector<Job> jobs, int inFlight);

    // The job a reply with this PDU reference answers, or -1 for none: the
    // job waiting for it; else, for a reference that no reply coming late
    // (lateReferences) carries, the one job waiting, if only one is.
    static int ownerOf(quint16 pduReference, const QHash<quint16, int> &waiting, const QVector<int> &lateReferences);

private:
    void noteLate(int pduReference);

    CmdQuillmarsh &cmd;
    quint16 reference = 0; // this pipe's own sequence, apart from the single jobs'
    QVector<int> late; // references of the last jobs that went unanswered, the last first
};

#endif
