// crashdump --pid=N --tid=N: writes what /proc tells about a process that has
// just faulted (command line, status, memory maps, the time) to a log file in
// the user's state folder and prints where it went.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

#include <cstdio>

namespace {
const char *const context = "quill.drivescope";

QString tr(const char *fallback, const char *key)
{
    return QCoreApplication::translate(context, fallback, key);
}

// A positive decimal number after `prefix`, or 0.
qint64 numberAfter(const QString &argument, const QString &prefix)
{
    if (!argument.startsWith(prefix))
        return 0;
    const QString digits = argument.mid(prefix.size());
    for (QChar c : digits) {
        if (!c.isDigit() || c.unicode() > '9')
            return 0;
    }
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    return ok && value > 0 ? value : 0;
}

// Where the log files go: $XDG_STATE_HOME/drivescope, else ~/.local/state/drivescope.
QString stateFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/drivescope");
}

QByteArray readProcFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    // /proc files report size 0; readAll reads to the end regardless.
    return file.readAll();
}

void section(QTextStream &out, const QString &title, const QByteArray &text)
{
    out << "\n--- " << title << " ---\n";
    if (text.isEmpty()) {
        out << tr("(not readable)", "crashdump.notreadable") << '\n';
        return;
    }
    out << QString::fromUtf8(text);
    if (!text.endsWith('\n'))
        out << '\n';
}

int usage()
{
    fprintf(stderr, "%s\n",
            qPrintable(tr("Usage: crashdump --pid=PROCESS --tid=THREAD\n"
                          "Writes what the system knows about a faulted process to a log file.",
                          "crashdump.usage")));
    return 2;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qint64 pid = 0;
    qint64 tid = 0;
    const QStringList arguments = app.arguments().mid(1);
    for (const QString &argument : arguments) {
        qint64 *target = argument.startsWith(QLatin1String("--pid="))   ? &pid
                         : argument.startsWith(QLatin1String("--tid=")) ? &tid
                                                                        : nullptr;
        if (!target || *target) // unknown or given twice
            return usage();
        *target = numberAfter(argument, argument.left(6));
        if (!*target)
            return usage();
    }
    if (!pid || !tid)
        return usage();

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString proc = QStringLiteral("/proc/%1").arg(pid);
    const QString task = QStringLiteral("%1/task/%2").arg(proc).arg(tid);

    const QString folder = stateFolder();
    if (!QDir().mkpath(folder)) {
        fprintf(stderr, "%s\n", qPrintable(tr("Cannot create the folder %1.", "crashdump.nofolder").arg(folder)));
        return 1;
    }
    const QString stem =
        QStringLiteral("%1/crash-%2-%3").arg(folder, now.toString(QStringLiteral("yyyyMMdd-HHmmss"))).arg(pid);
    QFile file(stem + QStringLiteral(".log"));
    for (int n = 1; !file.open(QIODevice::WriteOnly | QIODevice::NewOnly); ++n) {
        if (n > 100) {
            fprintf(
                stderr, "%s\n",
                qPrintable(tr("Cannot write %1: %2", "crashdump.nowrite").arg(file.fileName(), file.errorString())));
            return 1;
        }
        file.setFileName(QStringLiteral("%1-%2.log").arg(stem).arg(n));
    }

    QTextStream out(&file);
    out << "Crash report of process " << pid << ", thread " << tid << '\n';
    out << "Time: " << now.toString(Qt::ISODate) << '\n';
    if (!QFileInfo::exists(proc)) {
        out << tr("The process has already ended; nothing more could be read.", "crashdump.gone") << '\n';
    } else {
        QByteArray commandLine = readProcFile(proc + QStringLiteral("/cmdline"));
        if (commandLine.endsWith('\0'))
            commandLine.chop(1);
        commandLine.replace('\0', ' ');
        out << "Command line: " << QString::fromUtf8(commandLine) << '\n';
        out << "Executable: " << QFileInfo(proc + QStringLiteral("/exe")).symLinkTarget() << '\n';
        if (!QFileInfo::exists(task))
            out << tr("Thread %1 is not a thread of this process.", "crashdump.nothread").arg(tid) << '\n';
        else
            section(out, QStringLiteral("Thread status"), readProcFile(task + QStringLiteral("/status")));
        section(out, QStringLiteral("Process status"), readProcFile(proc + QStringLiteral("/status")));
        section(out, QStringLiteral("Memory maps"), readProcFile(proc + QStringLiteral("/maps")));
    }
    out.flush();
    if (out.status() != QTextStream::Ok || !file.flush()) {
        fprintf(stderr, "%s\n",
                qPrintable(tr("Cannot write %1: %2", "crashdump.nowrite").arg(file.fileName(), file.errorString())));
        return 1;
    }
    printf("%s\n", qPrintable(tr("Crash log written to %1", "crashdump.written").arg(file.fileName())));
    return 0;
}
