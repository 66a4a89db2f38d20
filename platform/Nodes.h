// The device-node service: every drive, controller and service is a node with a
// path, read through counted references. One Backend answers all of it; it is
// chosen once at start-up (simulator or the real machine) and tests may replace it.
#pragma once
#include <QList>
#include <QString>
#include <functional>
#include <memory>

#include "platform/Ref.h"
#include "platform/Variant.h"

namespace Interfaces {

// Properties and property sets of one provider of a node. Read-only.
class Generic {
public:
    virtual ~Generic() = default;
    virtual int propertyCount() = 0;
    virtual QString propertyName(int index) = 0;         // null when out of range
    virtual PropertyValue read(const QString &name) = 0; // empty when not offered
    virtual int propertySetCount() = 0;
    virtual QString propertySetName(int index) = 0; // null when out of range
    // Each argument names a property set and carries one argument; the result is
    // the set's data, empty on failure (Error::get() says why).
    virtual PropertyValue request(const PropertyValue &arguments) = 0;
};

// Block access to a node. Reads only: there is no write operation at all.
class Storage {
public:
    virtual ~Storage() = default;
    virtual quint64 blockSize() = 0;
    virtual quint64 blockCount() = 0;
    // Reads `count` blocks from block `first` into `buffer` (count * blockSize
    // bytes). False on failure, with the error set; blocks beyond the end fail.
    virtual bool read(quint64 first, quint32 count, void *buffer) = 0;
    // A read-only descriptor of the same bytes (byte 0 starts block 0) for readers
    // that read by themselves, such as libblkid; -1 when there is none. Owned by
    // the storage and valid while it lives. Such readers report what they read
    // with noteRead().
    virtual int descriptor() { return -1; }
    // Bytes read from the drive through this storage and its descriptor, for
    // tests and benchmarks; 0 from storages that do not count.
    virtual quint64 bytesRead() { return 0; }
    virtual void noteRead(quint64 bytes) { (void)bytes; }
};

// Shared lock held while a reader looks at the blocks of a Storage.
class Lockable {
public:
    virtual ~Lockable() = default;
    virtual bool lock() = 0; // false when the device is held exclusively elsewhere
    virtual void unlock() = 0;
};

} // namespace Interfaces

namespace Services::Nodes {

class Node {
public:
    virtual ~Node() = default;
    virtual QString path() const = 0;
    // Two nodes are the same device when their canonical names are equal.
    virtual QString canonicalName() const = 0;
};

class Provider {
public:
    virtual ~Provider() = default;
    virtual Ref<Node> node() const = 0;
    virtual int index() const = 0;
    // Null on failure (provider index unknown, etc.).
    static Ref<Provider> create(const Ref<Node> &node, int providerIndex);
};

class Backend;

namespace Providers {
struct Generic {
    static Ref<Interfaces::Generic> create(const Ref<Provider> &provider);
};
// The storage of a node is shared while anybody holds it: readers that open it
// meanwhile get the same one, with one cache of the blocks read so far (see
// platform/disks/BlockCache.h). Whoever reads a drive in several steps (one
// refresh of it) holds it from the first to the last.
struct Storage {
    static Ref<Interfaces::Storage> create(const Ref<Provider> &provider);
    // The storage of the node with this canonical name and provider index that
    // somebody holds right now through create() with that backend; null when
    // nobody does. Never opens the device.
    static Ref<Interfaces::Storage> inUse(const Backend &backend, const QString &canonicalName, int providerIndex);
};
struct Lockable {
    static Ref<Interfaces::Lockable> create(const Ref<Provider> &provider);
};
} // namespace Providers

// Watches one node for events. wait() blocks until an event is pending (true)
// or the timeout passes (false); 0xFFFFFFFF waits without limit.
class DeviceClient {
public:
    enum EventType : quint32 { Added = 1, Removed = 2, Changed = 3 };
    virtual ~DeviceClient() = default;
    virtual bool wait(quint32 timeoutMs) = 0;
    // From any thread: makes a blocked wait() return true. The pending event
    // is then whatever eventType() says (0 when nothing really happened).
    virtual void interrupt() = 0;
    virtual quint32 eventType() = 0;
    virtual void acknowledge() = 0;
    // Null when the node cannot be watched.
    static Ref<DeviceClient> create(const QString &path, bool flag);
};

// One entry of the drive list.
struct DriveEntry {
    QString path;
    QString label;
    int type = 2; // 2 = drive
};

// What a companion-node query returns.
struct CompanionNode {
    QString path;
    int type = 0;
};

// The seam behind every function above.
class Backend {
public:
    virtual ~Backend() = default;

    // A short name for messages ("simulator FILE", "Linux").
    virtual QString describe() const = 0;
    // False when the source of drives cannot be read at all; errors() says why.
    virtual bool available() const = 0;
    // Plain sentences about problems found while reading the source.
    virtual QStringList errors() const { return {}; }

    virtual Ref<Node> open(const QString &path) = 0;
    virtual Ref<Provider> provider(const Ref<Node> &node, int index) = 0;
    virtual Ref<Interfaces::Generic> generic(const Ref<Provider> &provider) = 0;
    virtual Ref<Interfaces::Storage> storage(const Ref<Provider> &provider) = 0;
    virtual Ref<Interfaces::Lockable> lockable(const Ref<Provider> &provider) = 0;
    virtual Ref<DeviceClient> deviceClient(const QString &path) = 0;

    // The drives to list, in display order.
    virtual QList<DriveEntry> drives() = 0;
    // The node path of the listed drive a user names: its node path, or where
    // the backend knows kernel names also "/dev/sda", "sda" and links to the
    // device node ("/dev/disk/by-id/..."). Null when no listed drive answers.
    virtual QString drivePath(const QString &name);
    // The kernel name of a drive node ("sda"); null when the backend has none.
    virtual QString kernelName(const QString &path) const;

    enum class IdBus { Pci, Usb };
    // The name the system's hardware database gives vendor `vendor` (product
    // < 0) or its product, as lspci and lsusb print it; null when it has none
    // (the simulator has no database).
    virtual QString hardwareName(IdBus bus, quint16 vendor, int product = -1) const;
    // A client whose Changed events mean that drives() may answer differently now.
    virtual Ref<DeviceClient> driveListClient() = 0;

    virtual QList<CompanionNode> companionNodes(const QString &text) = 0;
    virtual bool pciBusExists() = 0;
    virtual bool hosted() = 0;
    virtual QString bootParameter() = 0;
    // A refresh of the drive at `path` begins: whatever the backend keeps
    // about it is read anew. Backends that keep nothing ignore it.
    virtual void refresh(const QString &path) { Q_UNUSED(path); }

    // True when this process cannot read the drives itself and may ask the
    // user for full access (a privileged helper behind a password prompt).
    virtual bool fullAccessOffered() const { return false; }
    // Asks for it. Returns at once; `done` is called once, from any thread,
    // with whether access was granted. Drives read before that answer show
    // what they showed without; read them again after it.
    virtual void requestFullAccess(std::function<void(bool granted)> done)
    {
        if (done)
            done(false);
    }

    // The backend in use; created on first use from the environment
    // (DRIVESCOPE_NODES selects the simulator).
    static Backend &instance();
    // The backend in use if one was created and nobody holds it right now;
    // never creates one and never waits (for the crash handler).
    static Backend *existing();
    // Replaces the backend in use (tests, start-up). Takes ownership.
    static void install(std::unique_ptr<Backend> backend);
    // The backend the environment asks for.
    static std::unique_ptr<Backend> fromEnvironment();
};

} // namespace Services::Nodes

namespace Services::Filesystem::Client::Nodes {
// Null on failure, with the error set.
Ref<Services::Nodes::Node> open(const QString &path);
} // namespace Services::Filesystem::Client::Nodes

namespace Services::Driver::Client::Utils {
QList<Services::Nodes::CompanionNode> companionNodes(const QString &text);
// The same with the query flags of the driver service; 0 asks for every
// companion (no other flag is defined, unknown flags are ignored).
QList<Services::Nodes::CompanionNode> companionNodes(const QString &text, quint32 flags);
} // namespace Services::Driver::Client::Utils

using Services::Nodes::DeviceClient;
