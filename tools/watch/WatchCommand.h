#ifndef QUILLMARSH_WATCHCOMMAND_H
#define QUILLMARSH_WATCHCOMMAND_H

#include <QList>
#include <QStringList>

#include "PollLoop.h"
#include "WatchView.h"

// `quillmarsh watch HOST:PORT TAG… [--interval MS] [--polls N]`: polls the
// tags (by address, or by symbol with --symbols; one batch a poll through the
// plug-in's extension, else merged into as few reads as they can, unless
// --no-batch or --no-merge) and redraws one table in place on a terminal,
// or prints one line per poll when the output is not a terminal, with the
// link's figures in the table or, in a pipe, on a line of their own on
// stderr every kStatsEvery polls and at the end (stdout keeps one line per
// poll for the scripts that read it). Ctrl-C ends it between polls; the
// connection is closed either way.
class WatchCommand : public PollLoop::Host
{
public:
    static constexpr int kStatsEvery = 100;

    static int run(const QStringList &arguments);

    // Waits for the next poll; a stop cuts it short.
    bool wait(int ms) override;
    bool beforeRead() override;
    // Draws the view after each poll and reconnect attempt, each counted as
    // one of the polls asked for.
    bool report(const PollLoop &loop, bool polled) override;

private:
    WatchCommand(const QList<TagList::Entry> &tags, int maxPolls, bool terminal);
    void draw();
    // The last figures, on a pipe.
    void finish(const PollLoop &loop);
    void printStats() const;

    WatchView view;
    int maxPolls;
    bool terminal;
    int shown = 0;
    int linesDrawn = 0;
};

#endif
