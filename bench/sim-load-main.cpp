// quillmarsh-sim-load: "bounded under load" for quillmarsh-sim (see SimLoad).
//
//   quillmarsh-sim-load --sim PATH [--cpu NAME] [--clients N] [--seconds S] [--stop-runs N]

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

#include "SimLoad.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Bounded under load: quillmarsh-sim watched from outside."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("sim"), QStringLiteral("The quillmarsh-sim to run."), QStringLiteral("PATH")},
        {QStringLiteral("cpu"), QStringLiteral("Its CPU profile (default s7-1500, which takes the clients' TSAP 03.00 "
                                               "and 128 connections; empty: no --cpu)."), QStringLiteral("NAME"),
         QStringLiteral("s7-1500")},
        {QStringLiteral("clients"), QStringLiteral("Clients at once (default 32)."), QStringLiteral("N"),
         QStringLiteral("32")},
        {QStringLiteral("seconds"), QStringLiteral("How long they run (default 60)."), QStringLiteral("S"),
         QStringLiteral("60")},
        {QStringLiteral("stop-runs"), QStringLiteral("Starts stopped right away (default 300)."),
         QStringLiteral("N"), QStringLiteral("300")},
    });
    parser.process(app);
    SimLoad::Options options;
    options.program = parser.value(QStringLiteral("sim"));
    options.cpu = parser.value(QStringLiteral("cpu"));
    bool clientsOk = false;
    bool secondsOk = false;
    bool runsOk = false;
    options.clients = parser.value(QStringLiteral("clients")).toInt(&clientsOk);
    options.seconds = parser.value(QStringLiteral("seconds")).toInt(&secondsOk);
    options.stopRuns = parser.value(QStringLiteral("stop-runs")).toInt(&runsOk);
    if (options.program.isEmpty() || !clientsOk || !secondsOk || !runsOk || options.clients < 1
        || options.seconds < 1 || options.stopRuns < 0) {
        std::fprintf(stderr, "sim-load: --sim PATH is needed; --clients, --seconds at least 1\n");
        return 2;
    }
    return SimLoad::run(options);
}
