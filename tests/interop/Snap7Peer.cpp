#include "Snap7Peer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
const int StartTimeoutMs = 30000;   // Node.js loads the native module first
const int ReplyTimeoutMs = 10000;
const int StopTimeoutMs = 5000;
const char ReadyWord[] = "READY ";
}

Snap7Peer::Snap7Peer()
{
    process.setProcessChannelMode(QProcess::SeparateChannels);
}

Snap7Peer::~Snap7Peer()
{
    stop();
}

bool Snap7Peer::start()
{
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    if (node.isEmpty()) {
        failWith(QStringLiteral("Node.js ('node') is not installed; run scripts/setup.sh"));
        return false;
    }
    const QDir dir(QStringLiteral(QUILLMARSH_INTEROP_DIR));
    const QString script = dir.filePath(QStringLiteral("snap7-server.js"));
    if (!QFileInfo::exists(dir.filePath(QStringLiteral("node_modules/node-snap7/package.json")))) {
        failWith(QStringLiteral("node-snap7 is not installed in %1; run scripts/setup.sh").arg(dir.path()));
        return false;
    }
    process.setWorkingDirectory(dir.path());
    process.start(node, {script});
    if (!process.waitForStarted(StartTimeoutMs)) {
        failWith(QStringLiteral("cannot start %1: %2").arg(node, process.errorString()));
        return false;
    }
    const QString line = readLine(StartTimeoutMs);
    if (!line.startsWith(QLatin1String(ReadyWord))) {
        failWith(QStringLiteral("snap7 server did not get ready: \"%1\" %2")
                     .arg(line, QString::fromLocal8Bit(process.readAllStandardError())));
        stop();
        return false;
    }
    bool ok = false;
    listenPort = line.mid(int(sizeof ReadyWord) - 1).toUShort(&ok);
    if (!ok || listenPort == 0) {
        failWith(QStringLiteral("snap7 server announced no port: \"%1\"").arg(line));
        stop();
        return false;
    }
    return true;
}

void Snap7Peer::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.write("quit\n");
    process.closeWriteChannel();
    if (!process.waitForFinished(StopTimeoutMs)) {
        process.kill();
        process.waitForFinished(StopTimeoutMs);
    }
}

QByteArray Snap7Peer::dump(const QString &area, int db, int start, int length)
{
    const QString reply = command(QStringLiteral("dump %1 %2 %3 %4").arg(area).arg(db).arg(start).arg(length));
    const QByteArray bytes = QByteArray::fromHex(reply.toLatin1());
    if (bytes.size() != length) {
        failWith(QStringLiteral("dump %1 %2 %3 %4 answered \"%5\"").arg(area).arg(db).arg(start).arg(length).arg(reply));
        return QByteArray();
    }
    return bytes;
}

bool Snap7Peer::set(const QString &area, int db, int start, const QByteArray &bytes)
{
    const QString line = QStringLiteral("set %1 %2 %3 %4").arg(area).arg(db).arg(start)
                             .arg(QString::fromLatin1(bytes.toHex()));
    const QString reply = command(line);
    if (reply != QLatin1String("ok")) {
        failWith(QStringLiteral("%1 answered \"%2\"").arg(line, reply));
        return false;
    }
    return true;
}

bool Snap7Peer::reseed()
{
    const QString reply = command(QStringLiteral("reseed"));
    if (reply != QLatin1String("ok")) {
        failWith(QStringLiteral("reseed answered \"%1\"").arg(reply));
        return false;
    }
    return true;
}

QByteArray Snap7Peer::seeded(const QString &area, int db, int start, int length)
{
    int tag = 0x84 + db;
    if (area == QLatin1String("PE"))
        tag = 0x81;
    else if (area == QLatin1String("PA"))
        tag = 0x82;
    else if (area == QLatin1String("MK"))
        tag = 0x83;
    QByteArray bytes;
    for (int i = start; i < start + length; ++i)
        bytes.append(char((i * 7 + tag) & 0xFF));
    return bytes;
}

QString Snap7Peer::command(const QString &line)
{
    if (process.state() != QProcess::Running)
        return failWith(QStringLiteral("snap7 server is not running"));
    process.write(line.toLatin1() + '\n');
    return readLine(ReplyTimeoutMs);
}

// One line of the server's stdout, without its line end; empty after the wait.
QString Snap7Peer::readLine(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pending.contains('\n')) {
        if (process.bytesAvailable() == 0 && !process.waitForReadyRead(int(deadline.remainingTime())))
            return failWith(QStringLiteral("no answer from the snap7 server within %1 ms").arg(timeoutMs));
        pending += process.readAllStandardOutput();
    }
    const int end = pending.indexOf('\n');
    const QString line = QString::fromUtf8(pending.left(end)).trimmed();
    pending.remove(0, end + 1);
    return line;
}

QString Snap7Peer::failWith(const QString &text)
{
    error = text;
    return QString();
}
