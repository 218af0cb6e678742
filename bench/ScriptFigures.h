#ifndef QUILLMARSH_SCRIPTFIGURES_H
#define QUILLMARSH_SCRIPTFIGURES_H

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// A measuring script of bench/, run once when its first figure is asked
// for. Its lines "figure NAME VALUE" are its figures; its other lines are
// printed as they are, prefixed with the script's name.
class ScriptFigures
{
public:
    ScriptFigures(const QString &script, const QStringList &arguments);
    std::optional<double> figure(const QString &name);
    QString errorString() const { return error; }

private:
    bool run();

    QString script;
    QStringList arguments;
    bool ran = false;
    QHash<QString, double> figures;
    QString error;
};

#endif
