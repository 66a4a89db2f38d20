// A whole simulated machine from any node-tree text: the simulator backend,
// the drive list, the support test and, for each drive, the acquisition with
// every tab's model walked as a view would, and the report tool's text and
// JSON of it. This is where property values and buffers of any shape reach
// the General, Partitions, ATA, S.M.A.R.T., USB, SCSI, NVMe, SD/eMMC and PCI
// models. Files the tree names are looked for in an empty folder.
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include "FuzzSupport.h"
#include "model/Acquisition.h"
#include "model/Ata.h"
#include "model/DriveData.h"
#include "model/General.h"
#include "model/NVMe.h"
#include "model/PCI.h"
#include "model/Partitions.h"
#include "model/SCSI.h"
#include "model/SDeMMC.h"
#include "model/Smart.h"
#include "model/USB.h"
#include "platform/Nodes.h"
#include "platform/sim/SimBackend.h"
#include "report/Report.h"

using namespace Applications::DriveScope;
using Services::Nodes::Backend;

namespace {
// Drives acquired per input, so one input cannot take seconds.
constexpr int kMaxDrives = 8;

template <typename M> size_t walk(const std::unique_ptr<M> &model)
{
    return model ? Fuzz::walkModel(*model) : 0;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::setUp();
    static QTemporaryDir dir;
    const QString treeFile = dir.path() + QStringLiteral("/tree.json");
    {
        QFile file(treeFile);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            __builtin_trap();
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    Backend::install(Services::Nodes::Sim::createBackend(treeFile));
    size_t sum = size_t(Backend::instance().available()) + Backend::instance().errors().size();
    Acquisition acquisition;
    int n = 0;
    for (const auto &drive : Backend::instance().drives()) {
        if (n++ == kMaxDrives)
            break;
        bool opened = false;
        sum += size_t(acquisition.isDriveSupported(drive.path, &opened)) + opened;
        sum += size_t(acquisition.isSafeDisk(drive.path));
        if (auto d = acquisition.acquireDrive(drive.path, drive.label)) {
            sum += walk(d->general) + walk(d->partitions) + walk(d->smart) + walk(d->ata) + walk(d->nvme);
            sum += walk(d->usb) + walk(d->scsi) + walk(d->sdemmc) + walk(d->pci) + d->interfaces;
        }
        sum += size_t(QJsonDocument(driveJson(acquisition, drive.path, drive.label)).toJson().size());
        sum += size_t(driveText(acquisition, drive.path, drive.label).size());
    }
    Fuzz::keep(sum);
    return 0;
}
