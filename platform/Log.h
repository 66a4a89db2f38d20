// Logging on named channels with numeric levels (1 routine, 3 and 4 failures).
// A message is written when the filter's level is at most the message's level
// and its channel is switched on. DRIVESCOPE_LOG_LEVEL and DRIVESCOPE_LOG_CHANNELS
// set both from the environment (see README).
#pragma once
#include <QString>
#include <cstddef>

// Where log text goes. write() must be callable from a signal handler for the
// standard-output printer (it only calls write(2)).
class SysLogPrinter {
public:
    virtual ~SysLogPrinter() = default;
    virtual void write(const char *data, size_t length) = 0;
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
void write(int channel, int level, const QString &text);
// The text of an error code in log lines: "8443h (33859)".
QString errorText(quint32 code);
} // namespace SysLog
