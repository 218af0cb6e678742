#ifndef QUILLMARSH_PANELCOMMAND_H
#define QUILLMARSH_PANELCOMMAND_H

#include <QStringList>

// quillmarsh panel: polls tags like watch and shows them live in a browser,
// with trends, the history as CSV and, on request, writes.
class PanelCommand
{
public:
    static int run(const QStringList &arguments);
};

#endif
