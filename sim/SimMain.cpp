#include "SimMain.h"

#include "SimPlc.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int DefaultPort = 102;
constexpr int DefaultPdu = 240;
constexpr int ExitUsage = 2;
constexpr int ExitListen = 1;

// A signal handler may only write to a descriptor; the notifier turns that
// into a quit on the event loop.
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    const ssize_t written = ::write(signalPipe[0], &byte, 1);
    (void)written;
}

bool parseNumber(const QString &text, int min, int max, int *value)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < min || number > max)
        return false;
    *value = number;
    return true;
}

} // namespace

int runSimulator(int argc, char **argv)
{
    std::unique_ptr<QCoreApplication> ownApp;
    if (!QCoreApplication::instance())
        ownApp.reset(new QCoreApplication(argc, argv));

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QTextStream out(stdout);
    QTextStream err(stderr);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated S7 PLC on ISO-on-TCP"));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("TCP port (default 102)."),
                                        QStringLiteral("N"), QString::number(DefaultPort));
    const QCommandLineOption pduOption(QStringLiteral("pdu"), QStringLiteral("Largest PDU granted (default 240)."),
                                       QStringLiteral("N"), QString::number(DefaultPdu));
    const QCommandLineOption listenOption(QStringLiteral("listen"), QStringLiteral("Address to listen on (default 127.0.0.1)."),
                                          QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1"));
    parser.addOptions({portOption, pduOption, listenOption});
    if (!parser.parse(arguments)) {
        err << parser.errorText() << '\n';
        return ExitUsage;
    }
    if (parser.isSet(helpOption)) {
        out << parser.helpText();
        return 0;
    }

    int port = 0;
    int pdu = 0;
    const QHostAddress address(parser.value(listenOption));
    if (!parseNumber(parser.value(portOption), 0, 65535, &port)) {
        err << "invalid port: " << parser.value(portOption) << '\n';
        return ExitUsage;
    }
    if (!parseNumber(parser.value(pduOption), 1, 65535, &pdu)) {
        err << "invalid PDU size: " << parser.value(pduOption) << '\n';
        return ExitUsage;
    }
    if (address.isNull()) {
        err << "invalid listen address: " << parser.value(listenOption) << '\n';
        return ExitUsage;
    }

    SimPlc plc;
    plc.setPduSize(pdu);
    if (!plc.start(quint16(port), address)) {
        err << "cannot listen on " << address.toString() << ':' << port << ": " << plc.errorString() << '\n';
        return ExitListen;
    }
    out << "listening on " << address.toString() << ':' << plc.port() << '\n';
    out.flush();

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        err << "cannot set up signal handling\n";
        return ExitListen;
    }
    QSocketNotifier notifier(signalPipe[1], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, QCoreApplication::instance(),
                     &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction oldInt = {}, oldTerm = {};
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);

    const int code = QCoreApplication::exec();

    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    notifier.setEnabled(false);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
    plc.stop();
    out << "stopped\n";
    return code;
}
