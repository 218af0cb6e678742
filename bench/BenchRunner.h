#ifndef QUILLMARSH_BENCHRUNNER_H
#define QUILLMARSH_BENCHRUNNER_H

#include <QString>

#include <memory>
#include <vector>

#include "BenchCase.h"
#include "LatencyStats.h"

class BenchClient;
class BenchServer;

struct RunOptions
{
    int ops = 4000;        // timed operations per case for the plug-in and the floor
    int block = 50;        // operations of one client in a row before the next client's turn
    int snap7Divisor = 10; // snap7's client sleeps in 1 ms steps: it gets ops / divisor
    int connects = 100;    // timed connects per client and server
    QString pluginPath;
};

// The whole comparison in one run: for each server, each case and each
// client, alternating blocks of operations so that drift of the machine
// hits every client alike; then the connect times; then the table and the
// verdicts on the targets.
class BenchRunner
{
public:
    explicit BenchRunner(const RunOptions &options);
    ~BenchRunner();

    // 0 all targets met, 1 a target missed, 2 the run could not be completed.
    int run();
    // Puts the images of the read cases into the server and clears the
    // write target; false when the server refuses.
    static bool seed(BenchServer &server);

private:
    struct Row
    {
        QString server;
        QString title;
        QString client;
        LatencyStats stats;
    };

    bool measureServer(BenchServer &server);
    bool measureCase(BenchServer &server, const BenchCase &c,
                     const std::vector<std::unique_ptr<BenchClient>> &clients);
    bool runBlock(BenchClient &client, const BenchCase &c, int count, LatencyStats *stats);
    bool sameFrameAsFloor(BenchServer &server, const BenchCase &c);
    bool measureConnects(BenchServer &server, const std::vector<std::unique_ptr<BenchClient>> &clients);
    int opsFor(const BenchClient &client, int ops) const;
    const Row *find(const QString &server, const QString &title, const QString &client) const;
    void printTable() const;
    bool printTargets() const;

    RunOptions runOptions;
    std::vector<Row> rows;
};

#endif
