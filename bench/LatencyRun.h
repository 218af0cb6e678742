#ifndef QUILLMARSH_LATENCYRUN_H
#define QUILLMARSH_LATENCYRUN_H

#include <QHash>
#include <QString>

#include <chrono>
#include <vector>

class BenchClient;
class SimServerHost;
class BenchCase;

// The plug-in against the floor (the same frames over a plain socket), both
// against the simulated PLC in this process, all pinned to one CPU: every
// round trip then pays the same two context switches, and the ratios hold
// on a busy machine, where threads spread over CPUs wake at the mercy of
// the load. The clients take turns in blocks, every other round in reverse
// order, so that drift of the machine hits both alike. Per case: the median
// time per operation of each client and the plug-in's heap allocations in
// its median operation (the median, since the odd operation that renews the
// plug-in's time stamp, once a millisecond, allocates more); then the times
// of connecting.
class LatencyRun
{
public:
    static const QString ConnectKey; // the connect figures' key beside the cases'

    struct Options
    {
        int ops = 4000;     // timed operations per case and client
        int block = 50;     // operations of one client in a row
        int connects = 100; // timed connects per client
        QString pluginPath;
    };

    explicit LatencyRun(const Options &options);
    // False with errorString() set when a client or the server fails.
    bool run();
    // Median time of the plug-in over the floor's, for a case key or ConnectKey.
    double timeRatio(const QString &key) const;
    double pluginMedianAllocations(const QString &key) const;
    QString errorString() const { return error; }

private:
    struct Figures
    {
        std::vector<double> pluginUs;
        std::vector<double> floorUs;
        std::vector<double> pluginAllocations;
    };

    bool measureCase(SimServerHost &server, const BenchCase &c, BenchClient &plugin, BenchClient &floor);
    bool runBlock(BenchClient &client, const BenchCase &c, int count, std::vector<double> *times,
                  std::vector<double> *allocations);
    bool sameFrameAsFloor(const SimServerHost &server, const BenchCase &c);
    bool measureConnects(SimServerHost &server, BenchClient &plugin, BenchClient &floor);
    void report(const QString &title, const Figures &f, int ops) const;

    Options options;
    QHash<QString, Figures> figures;
    QString error;
};

#endif
