// The two raw sources: this process's own device access, and the helper
// behind pkexec, spoken to over a socket pair that is its standard input and
// output.
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/VariantJson.h"
#include "platform/linux/HelperProtocol.h"
#include "platform/linux/Properties.h"
#include "platform/linux/RawSource.h"

#include <QFile>
#include <QJsonDocument>
#include <QMutex>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace Services::Nodes::Linux {

namespace {

const int channel = SysLogFilter::reg("Linux");

class LocalSource : public RawSource {
public:
    bool local() const override { return true; }
    void readRaw(DiskProperties &props) override { props.readRawHere(); }
    bool readBytes(const DiskProperties &props, int fd, quint64 offset, char *out, quint64 length) override
    {
        if (fd < 0) {
            Error::set(Error::AccessDenied);
            return false;
        }
        while (length > 0) {
            const ssize_t got = props.reader().pread(fd, out, size_t(length), off_t(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                Error::set(got < 0 && (errno == EPERM || errno == EACCES) ? Error::AccessDenied : Error::IoFailed);
                return false;
            }
            out += got;
            offset += quint64(got);
            length -= quint64(got);
        }
        return true;
    }
};

// Longest wait for one answer once the helper runs: a drive answers each
// command within seconds or is given up by the helper itself.
constexpr int replyTimeoutMs = 120000;

class HelperSource : public RawSource {
public:
    HelperSource() = default;
    ~HelperSource() override
    {
        {
            QMutexLocker lock(&m_state);
            m_stopping = true;
        }
        if (m_wake[1] >= 0)
            (void)!::write(m_wake[1], "x", 1);
        if (m_starter.joinable())
            m_starter.join();
        // The helper ends when its input closes.
        if (m_socket >= 0)
            ::close(m_socket);
        for (int fd : m_wake) {
            if (fd >= 0)
                ::close(fd);
        }
    }

    bool start(const QStringList &command, std::function<void(bool)> ready)
    {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0 || ::pipe2(m_wake, O_CLOEXEC) != 0) {
            finish(QStringLiteral("Full drive access could not be started: %1.")
                       .arg(QString::fromLocal8Bit(strerror(errno))));
            return false;
        }
        m_socket = pair[0];
        QList<QByteArray> args;
        for (const QString &a : command)
            args << QFile::encodeName(a);
        std::vector<char *> argv;
        for (QByteArray &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pair[1], 0);
        posix_spawn_file_actions_adddup2(&actions, pair[1], 1);
        const int result = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pair[1]);
        if (result != 0) {
            finish(QStringLiteral("Full drive access could not be started: %1 cannot be run (%2).")
                       .arg(command.value(0), QString::fromLocal8Bit(strerror(result))));
            m_pid = -1;
            return false;
        }
        {
            QMutexLocker lock(&m_state);
            m_running = true;
        }
        // The password prompt may take any time; the window goes on meanwhile.
        m_starter = std::thread([this, ready] {
            const auto hello = call(QJsonObject{{QStringLiteral("op"), QStringLiteral("hello")}}, -1);
            const bool ok = hello && hello->value(QStringLiteral("protocol")).toInt() == Helper::protocolVersion;
            if (ok) {
                QMutexLocker lock(&m_state);
                m_started = m_running = true;
            } else if (alive()) {
                ended(QStringLiteral("it does not speak this window's protocol"));
            }
            finish(QString());
            QMutexLocker lock(&m_state);
            const bool stopping = m_stopping;
            lock.unlock();
            if (ready && !stopping)
                ready(ok);
        });
        return true;
    }

    bool local() const override { return false; }

    void readRaw(DiskProperties &props) override
    {
        // While the prompt is open the drive shows what sysfs gives; the
        // backend reads it again once the helper answers.
        if (pending())
            return;
        const auto answer = runningCall(
            QJsonObject{{QStringLiteral("op"), QStringLiteral("raw")}, {QStringLiteral("drive"), props.disk().name}});
        DiskTables tables;
        if (answer) {
            const auto node = Helper::tableFrom(answer->value(QStringLiteral("node")));
            const auto companion = Helper::tableFrom(answer->value(QStringLiteral("companion")));
            const auto sets = Helper::tableFrom(answer->value(QStringLiteral("sets")));
            if (node && companion && sets) {
                tables = {*node, *companion, *sets, {}};
                tables.notes.noRights = answer->value(QStringLiteral("noRights")).toBool();
                tables.notes.standby = answer->value(QStringLiteral("standby")).toBool();
                for (const QJsonValue &line : answer->value(QStringLiteral("log")).toArray())
                    tables.notes.log << line.toString();
                props.adopt(std::move(tables));
                return;
            }
            SysLog::write(channel, LogLevel::Failure,
                          QStringLiteral("The helper's data for %1 is malformed.").arg(props.disk().name));
        }
        // Without the helper: what this process may read itself.
        props.readRawHere();
    }

    bool readBytes(const DiskProperties &props, int, quint64 offset, char *out, quint64 length) override
    {
        while (length > 0) {
            const quint64 part = qMin(length, Helper::maxRead);
            const auto answer = runningCall(QJsonObject{{QStringLiteral("op"), QStringLiteral("read")},
                                                        {QStringLiteral("drive"), props.disk().name},
                                                        {QStringLiteral("offset"), double(offset)},
                                                        {QStringLiteral("length"), double(part)}});
            const auto data =
                answer ? VariantJson::valueFrom(QJsonArray{answer->value(QStringLiteral("data"))}) : std::nullopt;
            // Refused (outside the partition-table areas) or gone: as a device
            // this user may not read; a short answer is a failed read.
            if (!data || data->value(0).buffer.size() != qsizetype(part)) {
                Error::set(answer ? Error::IoFailed : Error::AccessDenied);
                return false;
            }
            memcpy(out, data->value(0).buffer.constData(), size_t(part));
            out += part;
            offset += part;
            length -= part;
        }
        return true;
    }

    QStringList errors() const override
    {
        QMutexLocker lock(&m_state);
        return m_why.isEmpty() ? QStringList() : QStringList{m_why};
    }

    bool alive() const
    {
        QMutexLocker lock(&m_state);
        return m_running;
    }

private:
    bool pending() const
    {
        QMutexLocker lock(&m_state);
        return !m_started;
    }

    // A call once the prompt has been answered; nothing before that (no
    // drive read waits for a password) or when the helper is gone.
    std::optional<QJsonObject> runningCall(const QJsonObject &request)
    {
        {
            QMutexLocker lock(&m_state);
            if (!m_started || !m_running)
                return std::nullopt;
        }
        return call(request, replyTimeoutMs);
    }

    // One request and its answer; a failure of the channel ends the helper
    // for this window.
    std::optional<QJsonObject> call(const QJsonObject &request, int timeoutMs)
    {
        QMutexLocker lock(&m_calls);
        QByteArray line = QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n';
        for (qsizetype done = 0; done < line.size();) {
            const ssize_t sent = ::send(m_socket, line.constData() + done, size_t(line.size() - done), MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return ended();
            done += sent;
        }
        for (;;) {
            const qsizetype end = m_buffer.indexOf('\n');
            if (end >= 0) {
                const QJsonDocument document = QJsonDocument::fromJson(m_buffer.left(end));
                m_buffer.remove(0, end + 1);
                if (!document.isObject())
                    return ended(QStringLiteral("it answered nonsense"));
                const QJsonObject answer = document.object();
                if (answer.value(QStringLiteral("ok")).toBool())
                    return answer;
                SysLog::write(channel, LogLevel::Failure,
                              QStringLiteral("The helper refused a request: %1")
                                  .arg(answer.value(QStringLiteral("error")).toString()));
                return std::nullopt;
            }
            if (m_buffer.size() > Helper::maxReply)
                return ended(QStringLiteral("its answer was too long"));
            pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            const int ready = ::poll(fds, 2, timeoutMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready == 0)
                return ended(QStringLiteral("it did not answer in time"));
            if (ready < 0 || fds[1].revents)
                return std::nullopt;
            char chunk[65536];
            const ssize_t got = ::recv(m_socket, chunk, sizeof chunk, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return ended();
            m_buffer.append(chunk, got);
        }
    }

    // The helper is gone or useless: say why once and read no more from it.
    std::optional<QJsonObject> ended(const QString &detail = QString())
    {
        ::shutdown(m_socket, SHUT_RDWR);
        // After end of input the helper (or pkexec) is gone or going; a helper
        // that hangs is not waited for.
        int status = 0;
        const bool exited =
            m_pid > 0 && ::waitpid(m_pid, &status, detail.isEmpty() ? 0 : WNOHANG) == m_pid && WIFEXITED(status);
        m_pid = -1;
        const int code = exited ? WEXITSTATUS(status) : -1;
        QString why;
        // pkexec: 126 when the prompt was dismissed, 127 when not authorised.
        if (code == 126 || code == 127)
            why = QStringLiteral("Full drive access was not granted (the password prompt was cancelled or refused). "
                                 "The drives are shown with what sysfs gives.");
        else
            why = QStringLiteral("The helper for full drive access has ended%1. The drives are shown with what "
                                 "sysfs gives; choose \"Full drive access\" to start it again.")
                      .arg(detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(detail));
        finish(why);
        return std::nullopt;
    }

    // The start is over; a sentence says why the helper cannot be used.
    void finish(const QString &why)
    {
        QMutexLocker lock(&m_state);
        m_started = true;
        if (!why.isEmpty()) {
            m_running = false;
            if (m_why.isEmpty())
                m_why = why;
        }
    }

    int m_socket = -1;
    int m_wake[2] = {-1, -1};
    pid_t m_pid = -1;
    std::thread m_starter;
    QMutex m_calls; // one request at a time
    QByteArray m_buffer;
    mutable QMutex m_state;
    bool m_started = false, m_running = false, m_stopping = false;
    QString m_why;
};

} // namespace

std::shared_ptr<RawSource> localRawSource()
{
    static const auto source = std::make_shared<LocalSource>();
    return source;
}

std::shared_ptr<RawSource> startHelper(const QStringList &command, std::function<void(bool ready)> ready)
{
    auto source = std::make_shared<HelperSource>();
    if (!source->start(command, ready)) {
        if (ready)
            ready(false);
    }
    return source;
}

} // namespace Services::Nodes::Linux
