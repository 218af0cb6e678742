#include "WatchCommand.h"

#include <QDateTime>

#include <climits>
#include <cstdio>
#include <unistd.h>

#include "CommandLine.h"
#include "DriverSession.h"
#include "StopSignals.h"
#include "Reconnector.h"
#include "TagList.h"
#include "WatchView.h"

namespace {
const int kMaxPolls = 1000000000;
// ANSI terminal controls: cursor up n lines, erase to the end of the line.
const char kCursorUp[] = "\x1b[%dA";
const char kEraseLine[] = "\x1b[K";
} // namespace

int WatchCommand::run(const QStringList &arguments)
{
    CommandLine cl(QStringLiteral("watch"),
                   QStringLiteral("Poll tags, each ADDRESS:TYPE[:COUNT], and show their value, "
                                  "status, age and trend."),
                   QStringLiteral("HOST:PORT [TAG...]"));
    cl.addValueOption(QStringLiteral("interval"),
                      QStringLiteral("Time between polls in ms (0: as fast as possible)."),
                      QStringLiteral("MS"), QStringLiteral("1000"));
    cl.addTagsOption();
    cl.addValueOption(QStringLiteral("polls"), QStringLiteral("Stop after N polls (0: until Ctrl-C)."),
                      QStringLiteral("N"), QStringLiteral("0"));
    cl.addPluginOption();
    cl.addDebugOption();
    const int done = cl.parse(arguments);
    if (done >= 0)
        return done;
    int interval = 0, polls = 0;
    if (!cl.expectPositional(1, INT_MAX)
        || !cl.intValue(QStringLiteral("interval"), 0, CommandLine::MaxIntervalMs, &interval)
        || !cl.intValue(QStringLiteral("polls"), 0, kMaxPolls, &polls))
        return CommandLine::BadInput;

    const QStringList args = cl.positional();
    QString error;
    if (!DriverSession::checkEndpoint(args.first(), &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    QList<TagList::Entry> entries;
    if (!TagList::collect(args.mid(1), cl.value(QStringLiteral("tags")), &entries, &error))
        return CommandLine::fail(error, CommandLine::BadInput);
    const QList<TagSpec> tags = TagList::specs(entries);
    for (const TagSpec &tag : tags)
        CommandLine::warn(tag.note);

    StopSignals::install();
    DriverSession session(cl.isSet(QStringLiteral("debug")));
    if (!session.load(cl.value(QStringLiteral("plugin")), &error)
        || !session.connectTo(args.first(), &error))
        return CommandLine::fail(error, CommandLine::Failed);

    WatchView view(tags);
    const bool terminal = isatty(STDOUT_FILENO);
    int linesDrawn = 0;
    Reconnector link(session.driver(), args.first());
    for (int poll = 1; (polls == 0 || poll <= polls) && !StopSignals::requested(); ++poll) {
        // A lost PLC is tried again after the reconnector's wait; each try
        // is one poll, shown with its attempt count.
        if (!link.connected() && StopSignals::waitFor(link.waitMs()))
            link.reconnect();
        for (int i = 0; i < tags.size() && link.connected() && !StopSignals::requested(); ++i) {
            const TagSpec &tag = tags.at(i);
            const CLabelVariable record = session.driver()->ReadVariable(tag.address, tag.type, tag.count);
            view.update(i, record);
            link.note(record.status);
        }
        view.setConnection(link.connected() ? QString() : link.stateText());
        draw(view, poll, terminal, &linesDrawn);
        if (poll != polls)
            StopSignals::waitFor(interval);
    }
    // Ctrl-C is the normal end of an open-ended watch, so it is no failure by
    // itself; the result tells whether the last poll read every tag.
    return view.allOk() ? CommandLine::Ok : CommandLine::Failed;
}

void WatchCommand::draw(const WatchView &view, int poll, bool terminal, int *linesDrawn)
{
    const QDateTime now = QDateTime::currentDateTime();
    if (!terminal) {
        CommandLine::print(view.line(poll, now));
        return;
    }
    const QStringList lines = view.table(poll, now);
    if (*linesDrawn > 0)
        std::printf(kCursorUp, *linesDrawn);
    for (const QString &line : lines)
        std::printf("%s%s\n", line.toUtf8().constData(), kEraseLine);
    std::fflush(stdout);
    *linesDrawn = lines.size();
}
