#ifndef QUILLMARSH_SIMSIGNALPLAYER_H
#define QUILLMARSH_SIMSIGNALPLAYER_H

#include "SimSignal.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

class SimPlc;

// Writes the values of its signals into the PLC's memory every 100 ms, on
// the thread it lives on, from the moment it starts.
class SimSignalPlayer : public QObject
{
    Q_OBJECT
public:
    SimSignalPlayer(SimPlc *target, const QList<SimSignal> &signalList, QObject *parent = nullptr);

    void start();
    // Writes every signal's value for elapsedMs; false when one does not fit
    // the memory the PLC serves.
    bool update(qint64 elapsedMs);

private:
    SimPlc *plc;
    QList<SimSignal> generators;
    QTimer ticker;
    QElapsedTimer clock;
};

#endif
