#ifndef QUILLMARSH_SIMRUN_H
#define QUILLMARSH_SIMRUN_H

#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>

// quillmarsh-sim run as a process of its own on free ports, with every wait
// bounded: its announced ports, and a connection to its control port.
struct SimRun
{
    static constexpr int kWaitMs = 5000;

    QProcess process;
    quint16 port = 0;
    quint16 control = 0;

    // False when it does not announce a port (a bad option ends it).
    bool start(const QStringList &arguments)
    {
        process.start(QStringLiteral(QUILLMARSH_SIM_PROGRAM), QStringList{"--port", "0"} + arguments);
        QByteArray out;
        const QRegularExpression listening(QStringLiteral("listening on [0-9.]+:(\\d+)"));
        while (!listening.match(QString::fromLatin1(out)).hasMatch() && process.waitForReadyRead(kWaitMs))
            out += process.readAllStandardOutput();
        port = quint16(listening.match(QString::fromLatin1(out)).captured(1).toInt());
        control = quint16(QRegularExpression(QStringLiteral("control on 127.0.0.1:(\\d+)"))
                              .match(QString::fromLatin1(out)).captured(1).toInt());
        return port != 0;
    }
    bool connectControl(QTcpSocket &socket) const
    {
        socket.connectToHost(QHostAddress::LocalHost, control);
        return socket.waitForConnected(kWaitMs);
    }
    // Sends lines, returns the answer lines (up to want of them).
    static QStringList converse(QTcpSocket &socket, const QByteArray &lines, int want)
    {
        socket.write(lines);
        QStringList answers;
        while (answers.size() < want && (socket.canReadLine() || socket.waitForReadyRead(kWaitMs))) {
            while (socket.canReadLine())
                answers << QString::fromUtf8(socket.readLine()).trimmed();
        }
        return answers;
    }
    ~SimRun()
    {
        process.terminate();
        if (!process.waitForFinished(kWaitMs))
            process.kill();
    }
};

#endif
