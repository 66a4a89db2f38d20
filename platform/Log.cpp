// Channel registry, filter and the standard-output printer of the log.
#include "platform/Log.h"

#include <QByteArray>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

namespace {

constexpr int MaxChannels = 64;

struct Registry {
    std::mutex mutex;
    const char *names[MaxChannels] = {"Default"};
    std::atomic<bool> on[MaxChannels];
    std::atomic<int> count{1};
    std::atomic<int> level{3};
    Registry()
    {
        for (auto &flag : on)
            flag = true;
    }
};

// Function-local so that channels registered by static initialisers of other
// files find it constructed.
Registry &registry()
{
    static Registry r;
    return r;
}

// The environment's switches apply from the first message on, whoever logs first.
std::atomic<bool> configured{false};
void configureOnce()
{
    if (!configured.exchange(true))
        SysLogFilter::configureFromEnvironment();
}

SysLogFdPrinter realPrinter{STDOUT_FILENO};
std::atomic<SysLogPrinter *> currentPrinter{nullptr};

QString &procNameStorage()
{
    static QString name = QStringLiteral("DriveScope");
    return name;
}

thread_local QString threadNameStorage;

// The channel of a Qt logging category; reg keeps the name's pointer, so a new
// name is copied once (at most MaxChannels of them).
int qtChannel(const char *category)
{
    if (!category || qstrcmp(category, "default") == 0)
        return 0;
    const QString name = QString::fromUtf8(category);
    for (int i = 0; i < SysLogFilter::channelCount(); ++i)
        if (SysLogFilter::channelName(i) == name)
            return i;
    return SysLogFilter::reg(qstrdup(category));
}

} // namespace

int SysLogFilter::reg(const char *name)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const int count = r.count.load();
    for (int i = 0; i < count; ++i)
        if (qstrcmp(r.names[i], name) == 0)
            return i;
    if (count >= MaxChannels)
        return 0; // out of channels: share the default one rather than fail
    r.names[count] = name;
    r.count = count + 1;
    return count;
}

int SysLogFilter::level()
{
    return registry().level;
}
void SysLogFilter::setLevel(int level)
{
    configureOnce(); // explicit settings win over the environment
    registry().level = level;
}

bool SysLogFilter::state(int channel)
{
    if (channel < 0 || channel >= registry().count)
        return false;
    return registry().on[channel];
}

void SysLogFilter::setState(int channel, bool on)
{
    configureOnce();
    if (channel >= 0 && channel < MaxChannels)
        registry().on[channel] = on;
}

QString SysLogFilter::channelName(int channel)
{
    if (channel < 0 || channel >= registry().count)
        return QString();
    return QString::fromUtf8(registry().names[channel]);
}

int SysLogFilter::channelCount()
{
    return registry().count;
}

void SysLogFilter::configureFromEnvironment()
{
    static const struct {
        const char *name;
        LogLevel level;
    } names[] = {{"routine", LogLevel::Routine},
                 {"notice", LogLevel::Notice},
                 {"failure", LogLevel::Failure},
                 {"severe", LogLevel::Severe},
                 {"off", LogLevel::Off}};
    bool ok = false;
    const int level = qEnvironmentVariableIntValue("DRIVESCOPE_LOG_LEVEL", &ok);
    if (ok)
        setLevel(level);
    const QByteArray word = qgetenv("DRIVESCOPE_LOG_LEVEL").trimmed().toLower();
    for (const auto &entry : names)
        if (word == entry.name)
            setLevel(int(entry.level));
    if (!qEnvironmentVariableIsSet("DRIVESCOPE_LOG_CHANNELS"))
        return;
    // Comma-separated: "all", "none", a channel name to switch on, "-name" to switch off.
    const QStringList words = qEnvironmentVariable("DRIVESCOPE_LOG_CHANNELS").split(',', Qt::SkipEmptyParts);
    for (QString word : words) {
        word = word.trimmed();
        const bool off = word.startsWith('-');
        if (off)
            word.remove(0, 1);
        if (word == QLatin1String("all") || word == QLatin1String("none")) {
            const bool on = (word == QLatin1String("all")) != off;
            for (int i = 0; i < MaxChannels; ++i)
                setState(i, on);
            continue;
        }
        const int channel = reg(qstrdup(word.toUtf8().constData()));
        setState(channel, !off);
    }
}

SysLogPrinter &SysLogStream::stdOutPrinter()
{
    SysLogPrinter *p = currentPrinter.load();
    return p ? *p : realPrinter;
}

void SysLogStream::setStdOutPrinter(SysLogPrinter *printer)
{
    currentPrinter = printer;
}

void SysLog::procName(const QString &name)
{
    procNameStorage() = name;
}
void SysLog::thdName(const QString &name)
{
    threadNameStorage = name;
}
QString SysLog::processName()
{
    return procNameStorage();
}

QString SysLog::threadName()
{
    if (!threadNameStorage.isEmpty())
        return threadNameStorage;
    return QString::number(quintptr(QThread::currentThreadId()), 16);
}

void SysLog::routeQtMessages()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
        LogLevel level = LogLevel::Severe;
        switch (type) {
        case QtDebugMsg:
            level = LogLevel::Routine;
            break;
        case QtInfoMsg:
            level = LogLevel::Notice;
            break;
        case QtWarningMsg:
            level = LogLevel::Failure;
            break;
        case QtCriticalMsg:
        case QtFatalMsg:
            break;
        }
        SysLog::write(qtChannel(context.category), level, text);
        if (type == QtFatalMsg)
            std::abort();
    });
}

void SysLog::write(int channel, LogLevel level, const QString &text)
{
    configureOnce();
    if (SysLogFilter::level() > int(level) || !SysLogFilter::state(channel))
        return;
    const QString line = QStringLiteral("%1/%2 [%3] %4: %5\n")
                             .arg(processName(), threadName(), SysLogFilter::channelName(channel))
                             .arg(int(level))
                             .arg(text);
    const QByteArray bytes = line.toUtf8();
    SysLogStream::stdOutPrinter().write(bytes.constData(), size_t(bytes.size()));
}

void SysLogFdPrinter::write(const char *data, size_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(m_fd, data, length);
        if (n <= 0)
            return;
        data += n;
        length -= size_t(n);
    }
}

size_t SysLog::formatDecimal(char *out, quint64 value)
{
    char reversed[20];
    size_t count = 0;
    do {
        reversed[count++] = char('0' + value % 10);
        value /= 10;
    } while (value);
    for (size_t i = 0; i < count; ++i)
        out[i] = reversed[count - 1 - i];
    return count;
}

QString SysLog::errorText(quint32 code)
{
    return QStringLiteral("%1h (%2)").arg(QString::number(code, 16).toUpper()).arg(code);
}
