// The properties and property sets of one drive node, gathered from sysfs
// first (no rights needed) and, on demand, from raw read-only commands. The
// backend keeps one DiskProperties per disk for every interface of a refresh,
// so the device is opened once and each command sent once.
#pragma once
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "platform/Variant.h"
#include "platform/linux/Discovery.h"
#include "platform/linux/RawSource.h"
#include "platform/linux/Reader.h"

namespace Services::Nodes::Linux {

// Named values in the order they were added; setting a name again replaces
// the value in place.
class PropertyTable {
public:
    void set(const QString &name, const PropertyValue &value);
    void setText(const QString &name, const QString &text); // skipped when null
    void setInt(const QString &name, quint64 value);
    void remove(const QString &name);
    bool contains(const QString &name) const;
    PropertyValue value(const QString &name) const; // empty when absent
    int count() const { return int(m_entries.size()); }
    QString name(int index) const;
    const QList<QPair<QString, PropertyValue>> &entries() const { return m_entries; }

private:
    QList<QPair<QString, PropertyValue>> m_entries;
};

// What raw access told about the rights of this user.
struct RawNotes {
    bool noRights = false; // some device refused to open or to answer
    bool standby = false;  // S.M.A.R.T. reads skipped for a sleeping disk
    QStringList log;       // one line per refusal or skipped read
};

// Everything known of a disk once raw data is in: what a helper hands over.
struct DiskTables {
    PropertyTable node, companion, sets;
    RawNotes notes;
};

class DiskProperties {
public:
    DiskProperties(const Reader &reader, const Disk &disk);
    DiskProperties(const DiskProperties &) = delete;
    DiskProperties &operator=(const DiskProperties &) = delete;

    // The disk's device, opened (and checked) when nobody holds it open yet
    // and closed when the last holder lets go, so an idle drive is not held
    // open. fd -1 with the open's errno when it could not be opened.
    struct Device {
        const Reader &reader;
        int fd = -1;
        int error = 0;
        ~Device() { reader.close(fd); }
    };
    std::shared_ptr<Device> device();

    // Provider 0 (the drive) and provider 1 (NVMe controller or SCSI view).
    PropertyTable &node(bool withRaw);
    PropertyTable &companion(bool withRaw);
    bool hasCompanion() const { return m_hasCompanion; }
    // Property sets: name to the data a request returns.
    PropertyTable &sets(bool withRaw);
    // True when `name` could come only from raw commands.
    static bool rawOnly(const QString &name);
    // True when the sysfs value of `name` only stands in until raw data
    // gives the drive's own (no cached IDENTIFY or VPD page 80h).
    bool identityNeedsRaw(const QString &name) const;
    const RawNotes &notes() const { return m_notes; }
    const Disk &disk() const { return m_disk; }
    const Reader &reader() const { return m_reader; }
    quint64 blockSize() const { return m_blockSize; }
    quint64 blockCount() const { return m_blockCount; }
    // True when raw commands may add property sets to those sysfs gave.
    bool rawAddsSets() const;

    // The first `bytes` of the drive from the block cache of a refresh that
    // holds its storage; null when none does, and the device is read instead.
    std::function<QByteArray(qint64 bytes)> headBlocks;

    // Raw data comes from `source` (null: this process).
    void setRawSource(std::shared_ptr<RawSource> source) { m_source = std::move(source); }
    // Sends the read-only commands from this process (the local source, and
    // the helper on behalf of the window).
    void readRawHere();
    // Takes what a helper read in place of this process's own tables.
    void adopt(DiskTables tables);

private:
    void readCommon();
    void readPci();
    void readAta();
    void readScsi();
    void readUsb();
    void readNvme();
    void readMmc();
    void readRaw();
    void rawAta(class RawDevice &device);
    void rawScsi(class RawDevice &device);
    void rawNvme(class RawDevice &device);
    void rawMmc(class RawDevice &device);
    void note(const QString &line, bool rights);
    QString sys(const QString &folder, const char *file) const;
    void setIdentify(const QByteArray &identify);

    const Reader &m_reader;
    Disk m_disk;
    PropertyTable m_node, m_companion, m_sets;
    bool m_hasCompanion = false;
    bool m_rawDone = false;
    quint64 m_blockSize = 512, m_blockCount = 0;
    std::weak_ptr<Device> m_device;
    QByteArray m_identify;
    RawNotes m_notes;
    std::shared_ptr<RawSource> m_source;
};

// Properties of the PCI function node "/devices/pci/SSSS:BB:DD.F" whose sysfs
// folder is `folder`.
PropertyTable pciNodeProperties(const Reader &reader, const QString &folder);
// PCIe link text of a function ("8.0 GT/s PCIe x4"); null without a link.
QString pcieLinkText(const Reader &reader, const QString &folder);

} // namespace Services::Nodes::Linux
