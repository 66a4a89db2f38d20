// Where the raw data of a disk comes from: this process, with its own rights
// to the devices (root, or a user in group disk), or the privileged helper
// started through pkexec. The backend reads through one RawSource; nothing
// above it knows which.
#pragma once
#include <QStringList>
#include <functional>
#include <memory>

namespace Services::Nodes::Linux {

class DiskProperties;

class RawSource {
public:
    virtual ~RawSource() = default;
    // True when this process opens the devices itself (and may hand their
    // descriptors to libblkid); false when another process reads for it.
    virtual bool local() const = 0;
    // Adds to `props` what the read-only commands tell about its disk.
    virtual void readRaw(DiskProperties &props) = 0;
    // `length` bytes from byte `offset` of the disk into `out`; false with
    // the error set when they cannot be read. `fd` is this process's own
    // descriptor of the disk (-1 when it has none; a helper needs none).
    virtual bool readBytes(const DiskProperties &props, int fd, quint64 offset, char *out, quint64 length) = 0;
    // Sentences for the user about this source (a helper that ended, a prompt
    // that was cancelled); each is said once and stays the same.
    virtual QStringList errors() const { return {}; }
};

// The devices opened by this process.
std::shared_ptr<RawSource> localRawSource();

// The helper behind pkexec: `command` starts it (pkexec and the helper's
// path). Returns at once; until the user has answered the password prompt
// disks read through it get sysfs data only. `ready` is called once, from
// another thread, with whether the helper answers.
std::shared_ptr<RawSource> startHelper(const QStringList &command, std::function<void(bool ready)> ready);

} // namespace Services::Nodes::Linux
