// quillmarsh: a command-line host of the Quillmarsh S7 driver plug-in.
#include <QCoreApplication>

#include <cstdio>

#include "CommandLine.h"
#include "DemoCommand.h"
#include "InfoCommand.h"
#include "PanelCommand.h"
#include "ReadCommand.h"
#include "SimCommand.h"
#include "SymbolsCommand.h"
#include "Version.h"
#include "WatchCommand.h"
#include "WriteCommand.h"

namespace {
const char kUsage[] =
    "Usage: quillmarsh COMMAND [options] [arguments]\n"
    "A command-line host of the Quillmarsh S7 driver plug-in.\n"
    "\n"
    "Commands:\n"
    "  demo                                 write and read every type on a simulated PLC\n"
    "  info                                 the plug-in's name and version\n"
    "  info HOST:PORT [--entries N]         what the CPU says of itself: identity, state, protection,\n"
    "                                       clock and its offset, diagnostic buffer\n"
    "  read HOST:PORT ADDRESS TYPE [COUNT]  read one tag\n"
    "  read HOST:PORT SYMBOL --symbols FILE read a tag by its name in a data-block source\n"
    "  read HOST:PORT --tags FILE           read a list of tags in as few jobs as the PDU carries\n"
    "  write HOST:PORT ADDRESS TYPE VALUE[,VALUE...]\n"
    "                                       write one tag\n"
    "  write HOST:PORT SYMBOL VALUE[,VALUE...] --symbols FILE\n"
    "                                       write a tag by its name\n"
    "  symbols FILE... [--number NAME=N]    list the addresses of a data-block source's members\n"
    "  watch HOST:PORT TAG... [--tags FILE] [--symbols FILE] [--no-merge]\n"
    "                                       poll tags (ADDRESS:TYPE[:COUNT] or symbols) in the terminal\n"
    "  panel HOST:PORT TAG... [--tags FILE] [--symbols FILE] [--http ADDRESS:PORT] [--writable]\n"
    "                                       poll tags and show them live in a browser\n"
    "  sim [--port N] [--db N:SIZE] [--area I|Q|M:SIZE] [--symbols FILE]\n"
    "                                       run the simulated PLC in the foreground\n"
    "\n"
    "Types: bool, int8, uint8, int16, uint16, int32, uint32, float, int64, uint64, double,\n"
    "or by their S7 names: BOOL, BYTE, WORD, DWORD, LWORD, SINT, USINT, INT, UINT, DINT,\n"
    "UDINT, REAL, LINT, ULINT, LREAL (any letter case).\n"
    "Each command takes --help. Common options: --plugin PATH, --json (info, read, write),\n"
    "--debug; the commands that connect also take --cpu FAMILY, --rack N, --slot N,\n"
    "--type pg|op|basic, --tsap LOCAL:REMOTE, --tsaps-first, --pdu N, --jobs N and --password P.\n"
    "Exit code 0 on success, 1 when the PLC or the plug-in failed, 2 on bad input.\n";
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillmarsh"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLMARSH_VERSION));

    const QStringList args = QCoreApplication::arguments();
    const QString command = args.value(1);
    if (command == QLatin1String("demo"))
        return DemoCommand::run(args);
    if (command == QLatin1String("info"))
        return InfoCommand::run(args);
    if (command == QLatin1String("read"))
        return ReadCommand::run(args);
    if (command == QLatin1String("write"))
        return WriteCommand::run(args);
    if (command == QLatin1String("watch"))
        return WatchCommand::run(args);
    if (command == QLatin1String("panel"))
        return PanelCommand::run(args);
    if (command == QLatin1String("symbols"))
        return SymbolsCommand::run(args);
    if (command == QLatin1String("sim"))
        return SimCommand::run(args, QStringLiteral("quillmarsh sim"));   // the same front as quillmarsh-sim
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        CommandLine::print(QString::fromLatin1(kUsage));
        return CommandLine::Ok;
    }
    if (command == QLatin1String("--version")) {
        CommandLine::print(QStringLiteral("quillmarsh %1").arg(QCoreApplication::applicationVersion()));
        return CommandLine::Ok;
    }
    if (command.isEmpty()) {
        std::fputs(kUsage, stderr);
        return CommandLine::BadInput;
    }
    return CommandLine::fail(QStringLiteral("unknown command '%1' (see quillmarsh --help)").arg(command),
                             CommandLine::BadInput);
}
