// Logging on named channels with levels. A message is written when the filter's
// level is at most the message's level and its channel is switched on.
// DRIVESCOPE_LOG_LEVEL and DRIVESCOPE_LOG_CHANNELS set both from the environment
// (see README). Qt's own qDebug/qWarning/... go the same way once routed.
#pragma once
#include <QString>
#include <cstddef>

// Message levels, lowest first; the filter's level is one of them too (Off: nothing).
// The numbers are what DRIVESCOPE_LOG_LEVEL takes, beside the names.
enum class LogLevel : int { Routine = 1, Notice = 2, Failure = 3, Severe = 4, Off = 5 };

// Where log text goes. write() must be callable from a signal handler for the
// standard-output printer (it only calls write(2)).
class SysLogPrinter {
public:
    virtual ~SysLogPrinter() = default;
    virtual void write(const char *data, size_t length) = 0;
};

// Writes to a file descriptor with write(2) alone: usable from a signal handler.
class SysLogFdPrinter final : public SysLogPrinter {
public:
    explicit SysLogFdPrinter(int fd) : m_fd(fd) {}
    void write(const char *data, size_t length) override;

private:
    int m_fd;
};

class SysLogFilter {
public:
    // Registers a channel by name (idempotent) and returns its identifier.
    // Channel 0 is the default channel. Safe to call before main.
    static int reg(const char *name);
    static int level();
    static void setLevel(int level);
    static bool state(int channel);
    static void setState(int channel, bool on);
    static QString channelName(int channel);
    static int channelCount();
    // Reads DRIVESCOPE_LOG_LEVEL and DRIVESCOPE_LOG_CHANNELS.
    static void configureFromEnvironment();
};

namespace SysLogStream {
// The printer writing to standard output; tests may put another in its place
// (nullptr restores the real one). Not owned.
SysLogPrinter &stdOutPrinter();
void setStdOutPrinter(SysLogPrinter *printer);
} // namespace SysLogStream

namespace SysLog {
void procName(const QString &name);
void thdName(const QString &name);
QString processName();
QString threadName();
// Writes one message when the filter lets it pass.
void write(int channel, LogLevel level, const QString &text);
// From now on Qt's messages (qDebug routine, qInfo notice, qWarning failure,
// qCritical and qFatal severe) go through the filter, on a channel named after
// their category ("default" is the Default channel). For the programs' main();
// tests keep Qt's own handler, which QTest needs.
void routeQtMessages();
// The text of an error code in log lines: "8443h (33859)".
QString errorText(quint32 code);
// Writes `value` in decimal to `out` (room for 20 digits), no terminator;
// returns the length. Signal-safe.
size_t formatDecimal(char *out, quint64 value);
} // namespace SysLog
