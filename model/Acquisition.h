// Deciding, for one drive node, which tabs get data, and building their models.
// One Acquisition runs on one thread (the window reads drives on a worker);
// shared by the window and the report tool.
#pragma once
#include <QMap>
#include <QString>
#include <memory>

#include "model/DriveData.h"
#include "platform/Nodes.h"

namespace Applications::DriveScope {

class Acquisition {
public:
    Acquisition();
    ~Acquisition();

    // Builds the record of the drive at `path`; null when the node cannot be
    // opened as far as its generic interface (the caller shows the error).
    std::unique_ptr<DriveData> acquireDrive(const QString &path, const QString &name);
    // True when the volume server protects the drive.
    bool isSafeDisk(const QString &path);
    bool isVolumeServerOn();
    // The drive support test for one drive-list entry: true when some tab
    // could show something. A node that cannot be opened counts as supported
    // (it stays unmarked); `opened` tells that case apart.
    bool isDriveSupported(const QString &path, bool *opened = nullptr);
    // Off: records without the Partitions tab, whose file-system probe reads
    // the most of a drive (the metrics only count partitions). On by default.
    void setPartitionsTab(bool on) { m_partitionsTab = on; }

private:
    void readSmart(const Ref<Interfaces::Generic> &generic, const QString &path, DriveData &data);
    void readNvmeHealth(const Ref<Interfaces::Generic> &generic, const QString &path, DriveData &data);
    void readIdentify(const Ref<Interfaces::Generic> &generic, const QString &path, DriveData &data);
    Ref<Interfaces::Generic> controlInterface();
    Ref<Interfaces::Generic> m_volumeServer;
    bool m_partitionsTab = true;
};

} // namespace Applications::DriveScope
