#include "WatchCommand.h"

#include <QDateTime>

#include <climits>
#include <cstdio>
#include <unistd.h>

#include "CommandLine.h"
#include "DriverSession.h"
#include "PollLoop.h"
#include "StopSignals.h"
#include "SymbolOptions.h"
#include "SymbolTags.h"

namespace {
const int kMaxPolls = 1000000000;
// ANSI terminal controls: cursor up n lines, erase to the end of the line.
const char kCursorUp[] = "\x1b[%dA";
const char kEraseLine[] = "\x1b[K";
} // namespace

WatchCommand::WatchCommand(const QList<TagList::Entry> &tags, int polls, bool onTerminal)
    : view(tags), maxPolls(polls), terminal(onTerminal)
{
}

int WatchCommand::run(const QStringList &arguments)
{
    CommandLine cl(QStringLiteral("watch"),
                   QStringLiteral("Poll tags, each ADDRESS:TYPE[:COUNT] or, with --symbols, a symbol, and show "
                                  "their value, status, age and trend."),
                   QStringLiteral("HOST:PORT [TAG...]"));
    cl.addValueOption(QStringLiteral("interval"),
                      QStringLiteral("Time between polls in ms (0: as fast as possible)."),
                      QStringLiteral("MS"), QStringLiteral("1000"));
    cl.addTagsOption();
    cl.addValueOption(QStringLiteral("polls"), QStringLiteral("Stop after N polls (0: until Ctrl-C)."),
                      QStringLiteral("N"), QStringLiteral("0"));
    SymbolOptions::add(&cl);
    PollLoop::addOptions(&cl);
    cl.addPluginOption();
    cl.addDebugOption();
    cl.addConnectionOptions();
    const int done = cl.parse(arguments);
    if (done >= 0)
        return done;
    if (!DriverSession::takeOptions(cl))
        return CommandLine::BadInput;
    int interval = 0, polls = 0;
    PollLoop::Options pollOptions;
    if (!cl.expectPositional(1, INT_MAX)
        || !cl.intValue(QStringLiteral("interval"), 0, CommandLine::MaxIntervalMs, &interval)
        || !cl.intValue(QStringLiteral("polls"), 0, kMaxPolls, &polls)
        || !PollLoop::takeOptions(cl, &pollOptions))
        return CommandLine::BadInput;

    const QStringList args = cl.positional();
    QString error;
    if (!DriverSession::checkEndpoint(args.first(), &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    QList<TagList::Entry> entries;
    if (!SymbolTags::collect(cl, args.mid(1), &entries, &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    const QList<TagSpec> tags = TagList::specs(entries);
    for (const TagSpec &tag : tags)
        CommandLine::warn(tag.note);

    StopSignals::install();
    DriverSession session(cl.isSet(QStringLiteral("debug")));
    if (!session.load(cl.value(QStringLiteral("plugin")), &error)
        || !session.connectTo(args.first(), &error))
        return CommandLine::fail(error, CommandLine::Failed);

    WatchCommand watch(entries, polls, isatty(STDOUT_FILENO));
    PollLoop loop(session.driver(), args.first(), tags, pollOptions);
    loop.run(watch, interval);
    watch.finish(loop);
    // Ctrl-C is the normal end of an open-ended watch, so it is no failure by
    // itself; the result tells whether the last poll read every tag.
    return watch.view.allOk() ? CommandLine::Ok : CommandLine::Failed;
}

bool WatchCommand::wait(int ms)
{
    return StopSignals::waitFor(ms);
}

bool WatchCommand::beforeRead()
{
    return !StopSignals::requested();
}

bool WatchCommand::report(const PollLoop &loop, bool)
{
    ++shown;
    view.update(loop.states());
    view.setConnection(loop.link().connected() ? QString() : loop.link().stateText());
    // Its percentiles cost a pass over 1,000 times: made only when shown.
    if (terminal || shown % kStatsEvery == 0)
        view.setStats(loop.stats().text());
    draw();
    return maxPolls == 0 || shown < maxPolls;
}

void WatchCommand::draw()
{
    const QDateTime now = QDateTime::currentDateTime();
    if (!terminal) {
        CommandLine::print(view.line(shown, now));
        if (shown % kStatsEvery == 0)
            printStats();
        return;
    }
    QStringList lines = view.table(shown, now);
    // A shorter table (a cause gone) blanks the lines the last one left below.
    while (lines.size() < linesDrawn)
        lines << QString();
    if (linesDrawn > 0)
        std::printf(kCursorUp, linesDrawn);
    for (const QString &line : lines)
        std::printf("%s%s\n", line.toUtf8().constData(), kEraseLine);
    std::fflush(stdout);
    linesDrawn = lines.size();
}

void WatchCommand::finish(const PollLoop &loop)
{
    if (terminal || shown % kStatsEvery == 0)
        return;
    view.setStats(loop.stats().text());
    printStats();
}

void WatchCommand::printStats() const
{
    std::fprintf(stderr, "%s\n", view.stats().toUtf8().constData());
    std::fflush(stderr);
}
