#ifndef QUILLMARSH_WATCHCOMMAND_H
#define QUILLMARSH_WATCHCOMMAND_H

#include <QStringList>

class WatchView;

// `quillmarsh watch HOST:PORT TAG… [--interval MS] [--polls N]`: polls the
// tags and redraws one table in place on a terminal, or prints one line per
// poll when the output is not a terminal. Ctrl-C ends it between polls; the
// connection is closed either way.
class WatchCommand
{
public:
    static int run(const QStringList &arguments);

private:
    static void draw(const WatchView &view, int poll, bool terminal, int *linesDrawn);
};

#endif
