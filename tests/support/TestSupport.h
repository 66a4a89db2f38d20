// Test helpers: an in-memory node backend for hand-built trees, a log printer
// that records, Qt message capture, and the location of the shared real data.
#pragma once
#include <QByteArray>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include "platform/Log.h"
#include "platform/Nodes.h"

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
    QByteArray image;          // block contents; blocks past its end read as zeros
    quint64 blockSize = 0;     // 0: no storage interface
    quint64 blockCount = 0;
    QStringList fail;          // "open", "provider", "generic", "storage", "lockable", "read"
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

    MemoryNode &node(const QString &path);  // creates it
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
    QList<Services::Nodes::CompanionNode> companionNodes(const QString &text) override { return companions.value(text); }
    bool pciBusExists() override { return nodes.contains(QStringLiteral("/devices/pci/bus")); }
    bool hosted() override { return isHosted; }
    QString bootParameter() override { return boot; }
};

// Records everything written to the standard-output log printer while alive.
class LogCapture : public SysLogPrinter {
public:
    LogCapture();
    ~LogCapture() override;
    void write(const char *data, size_t length) override;
    QString text() const;
    bool contains(const QString &needle) const { return text().contains(needle); }

private:
    mutable QMutex m_mutex;
    QByteArray m_text;
};

// Records qDebug/qWarning/qCritical messages while alive.
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    QStringList messages(QtMsgType type) const;
    QStringList all() const;
    bool contains(const QString &needle) const;
};

// The folder of the shared real-drive data (…/shared/testdata), or an empty
// string when it is not there.
QString sharedTestData();

// Compares `actual` with the golden file tests/expected/<name>; with
// DRIVESCOPE_UPDATE_EXPECTED=1 in the environment it writes the file instead.
// False with the first differing line in *why.
bool matchesExpected(const QByteArray &actual, const QString &name, QString *why);

} // namespace TestSupport
