#ifndef QUILLMARSH_COMMANDLINE_H
#define QUILLMARSH_COMMANDLINE_H

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include "CDriveExtension.h"

// The parser of one subcommand, with --help and the options the commands
// share, and the tool's way of reporting: one line on stderr per error.
class CommandLine
{
public:
    // Exit codes: success, a failure at the PLC or the plug-in, bad input.
    enum ExitCode { Ok = 0, Failed = 1, BadInput = 2 };
    // Limits the commands share.
    static constexpr int MaxPort = 65535;
    static constexpr int MaxIntervalMs = 3600000;
    static constexpr int MaxJobs = 255;
    static constexpr int MaxPasswordLength = 8; // a CPU's protection password

    // A command without syntax takes no arguments (and shows none).
    CommandLine(const QString &command, const QString &description, const QString &syntax = QString());

    void addPluginOption();
    void addJsonOption();
    void addDebugOption();
    // --tags FILE: a tag-list file, as TagList reads it.
    void addTagsOption();
    // --no-merge: how a polling command reads its tags (--pdu, which limits
    // merged reads too, is a connection option).
    void addMergeOptions();
    // --cpu, --rack, --slot, --type, --tsap LOCAL:REMOTE, --tsaps-first,
    // --pdu, --jobs and --password: the connection a command asks the
    // plug-in for.
    void addConnectionOptions();
    // What the connection options ask; each given option overrides what
    // *connection held (a --cpu preset first, then the options it names).
    struct Connection
    {
        CDriveExtension::ConnectionOptions options;
        bool asked = false;    // an option only the plug-in's extension can take
        bool pduAsked = false; // --pdu, which without the extension still limits merged reads
        QString password;      // empty: none sent
    };
    // False after reporting a bad value.
    bool connectionOptions(Connection *connection) const;
    // The CPU families --cpu knows.
    static QStringList cpuPresets();
    void addBoolOption(const QString &name, const QString &description);
    void addValueOption(const QString &name, const QString &description, const QString &valueName,
                        const QString &defaultValue = QString());
    // The help's first line ("Usage: quillmarsh-sim [options]"), and text
    // after the options.
    void setUsage(const QString &usage) { usageLine = usage; }
    void setEpilogue(const QString &text) { epilogue = text; }

    // Parses "quillmarsh <command> ARGS…". Returns -1 to go on, else the exit
    // code to end with (help printed, or an error reported).
    int parse(const QStringList &arguments);
    // The same, and then minPositional to maxPositional positional arguments.
    int parse(const QStringList &arguments, int minPositional, int maxPositional);

    QStringList positional() const;
    bool isSet(const QString &name) const;
    // Whether the command offers the option at all.
    bool offers(const QString &name) const { return offered.contains(name); }
    QString value(const QString &name) const;
    // Every value of an option given more than once, in order.
    QStringList values(const QString &name) const;
    // The option as a whole number from min to max; false after reporting.
    bool intValue(const QString &name, int min, int max, int *out) const;
    // Whether to merge tags into reads of bytes, and the PDU that limits
    // them; false after reporting a bad --pdu.
    bool mergeOptions(bool *merge, int *pduBytes) const;
    // Exactly min to max positional arguments, or an error reported.
    bool expectPositional(int min, int max) const;

    // One line on stderr, after the program's name, and the exit code to end with.
    static int fail(const QString &message, int code);
    // One line on stderr that does not end the command; nothing for an empty text.
    static void warn(const QString &message);
    static void print(const QString &text);

private:
    QString commandName;
    QStringList offered; // the names of the options added with a value or as a flag
    QString usageLine;
    QString epilogue;
    QCommandLineParser parser;
};

#endif
