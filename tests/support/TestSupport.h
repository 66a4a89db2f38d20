// Test helpers: an in-memory node backend for hand-built trees, a log printer
// that records, Qt message capture, and the location of the shared real data.
#pragma once
#include <QAbstractItemModel>
#include <QByteArray>
#include <QMap>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QStringList>

#include "platform/Log.h"
#include "platform/Nodes.h"
#include "platform/linux/Reader.h"

namespace TestSupport {

// One node of a MemoryBackend: providers by index, each with ordered
// properties and sets.
struct MemoryProvider {
    QList<QPair<QString, PropertyValue>> properties;
    QList<QPair<QString, PropertyValue>> sets;
    void set(const QString &name, const PropertyValue &value);
    void setSet(const QString &name, const PropertyValue &value);
};

struct MemoryNode {
    QString canonical;
    QMap<int, MemoryProvider> providers;
    QByteArray image;      // block contents; blocks past its end read as zeros
    quint64 blockSize = 0; // 0: no storage interface
    quint64 blockCount = 0;
    QStringList fail; // "open", "provider", "generic", "storage", "lockable", "read"
    MemoryProvider &p0() { return providers[0]; }
};

class MemoryBackend : public Services::Nodes::Backend {
public:
    QMap<QString, MemoryNode> nodes;
    QList<Services::Nodes::DriveEntry> driveList;
    QMap<QString, QList<Services::Nodes::CompanionNode>> companions;
    bool isHosted = false;
    QString boot;
    QStringList notices; // what errors() says about the source

    MemoryNode &node(const QString &path); // creates it
    // Installs a fresh MemoryBackend as the backend in use and returns it.
    static MemoryBackend &install();

    QString describe() const override { return QStringLiteral("memory"); }
    bool available() const override { return true; }
    QStringList errors() const override { return notices; }
    Ref<Services::Nodes::Node> open(const QString &path) override;
    Ref<Services::Nodes::Provider> provider(const Ref<Services::Nodes::Node> &node, int index) override;
    Ref<Interfaces::Generic> generic(const Ref<Services::Nodes::Provider> &provider) override;
    Ref<Interfaces::Storage> storage(const Ref<Services::Nodes::Provider> &provider) override;
    Ref<Interfaces::Lockable> lockable(const Ref<Services::Nodes::Provider> &provider) override;
    Ref<DeviceClient> deviceClient(const QString &path) override;
    QList<Services::Nodes::DriveEntry> drives() override { return driveList; }
    Ref<DeviceClient> driveListClient() override;
    QList<Services::Nodes::CompanionNode> companionNodes(const QString &text) override
    {
        return companions.value(text);
    }
    bool pciBusExists() override { return nodes.contains(QStringLiteral("/devices/pci/bus")); }
    bool hosted() override { return isHosted; }
    QString bootParameter() override { return boot; }
};

// Records everything written to the standard-output log printer while alive.
// It sets the program's log filter to `level` with every channel on, and puts
// the filter back afterwards, so DRIVESCOPE_LOG_LEVEL and _CHANNELS in the
// environment cannot change what a test reads.
class LogCapture : public SysLogPrinter {
public:
    explicit LogCapture(int level = 1);
    ~LogCapture() override;
    void write(const char *data, size_t length) override;
    QString text() const;
    // The messages alone, without the process, thread, channel and level in front.
    QStringList messages() const;
    bool contains(const QString &needle) const { return text().contains(needle); }

private:
    mutable QMutex m_mutex;
    QByteArray m_text;
    int m_level;
    QList<bool> m_states;
};

// Records qDebug/qWarning/qCritical messages while alive.
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    QStringList all() const;
    bool contains(const QString &needle) const;
};

// A grouped model as the window shows it: "[TITLE]" lines and "LABEL = VALUE"
// rows, "~" before a dimmed value. Checks the model with QAbstractItemModelTester first.
QString shownText(QAbstractItemModel &model);

// Device nodes that are not there: every open succeeds, fstat answers as the
// block (or NVMe controller) device sysfs names under `sysRoot`, every ioctl
// is recorded and refused as not supported (with errno `error`), once it got
// a permit of `gate` when there is one. Thread-safe: the window reads drives on a worker.
class FakeDevices : public Services::Nodes::Linux::DeviceIo {
public:
    explicit FakeDevices(const QString &sysRoot) : m_sys(sysRoot) {}
    QSemaphore *gate = nullptr;
    int error = 22; // EINVAL: "not supported", so every command the gate allows is tried

    int open(const char *path, int flags) override;
    int fstat(int fd, struct stat *st) override;
    int ioctl(int fd, unsigned long request, void *argument) override;
    ssize_t pread(int fd, void *buffer, size_t length, off_t offset) override;
    int flock(int, int) override { return 0; }
    int close(int) override { return 0; }

    QStringList opens() const;
    // The SCSI CDBs sent, as hex ("85 06 20 ..."), and the count of requests.
    QStringList cdbs() const;
    int requests() const;

private:
    QString m_sys;
    mutable QMutex m_mutex;
    QStringList m_opens, m_cdbs;
    int m_requests = 0;
};

// The nodes of the node-tree file tests/data/`name` as cases for a MemoryBackend,
// in file order: each node's path names the case; its providers, storage
// geometry and failures are kept.
QList<std::pair<QString, MemoryNode>> memoryCases(const QString &name);

// Elements as "NAME=value" texts: numbers bare, texts quoted, buffers in hex.
QString shownValue(const PropertyValue &value);

// Every drive of `backend` with the properties and set names of each provider,
// one line each, for a golden file.
QString shownDrives(Services::Nodes::Backend &backend);

// What a program run by run() did: its exit code (-1 when it did not start or
// did not end normally), process id, standard output and error.
struct Run {
    int exitCode = -1;
    qint64 pid = 0;
    QString out, err;
};

// Runs `program` to its end with `input` on its standard input, in this
// environment changed by `environment`: "NAME=value" sets, "NAME" alone removes.
Run run(const QString &program, const QStringList &arguments, const QStringList &environment = {},
        const QByteArray &input = {});

// Bytes written as hexadecimal digits, blanks allowed: "85 08 0E".
inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Writes the script `text` to `path`, executable by its owner; false on failure.
bool writeScript(const QString &path, const QByteArray &text);

// A copy of the sysfs tree at `from` in `to` (links kept); false on failure.
bool copyTree(const QString &from, const QString &to);

// The folder of the shared real-drive data (…/shared/testdata), or an empty
// string when it is not there.
QString sharedTestData();

// The folder `sub` of the shared real-drive data. When it is absent the running
// test is failed under CI (environment variable CI set) and skipped otherwise;
// the caller returns on an empty result. Use through SHARED_DATA_OR_RETURN.
QString sharedDataOrSkip(const QString &sub, const char *file, int line);

// Compares `actual` with the file tests/expected/`name`. Empty when equal, else
// the first differing line; the actual text is left beside the build as
// `name`.actual. With DRIVESCOPE_UPDATE_EXPECTED=1 the file is rewritten instead.
QString compareGolden(const QString &name, const QString &actual);

} // namespace TestSupport

#define SHARED_DATA_OR_RETURN(var, sub)                                                                                \
    const QString var = TestSupport::sharedDataOrSkip(QStringLiteral(sub), __FILE__, __LINE__);                        \
    if (var.isEmpty())                                                                                                 \
    return

#define COMPARE_GOLDEN(name, actual)                                                                                   \
    do {                                                                                                               \
        const QString goldenError_ = TestSupport::compareGolden(name, actual);                                         \
        QVERIFY2(goldenError_.isEmpty(), qPrintable(goldenError_));                                                    \
    } while (false)
