// The record of one shown drive: its name, interface bits and the models of
// the nine tabs (each null when the tab has no data). Owns the models.
#pragma once
#include <QString>
#include <memory>
#include <optional>

#include "model/NvmeHealth.h"

namespace Applications::DriveScope {
namespace Model {
class General;
class Partitions;
class Smart;
class Ata;
class NVMe;
class USB;
class SCSI;
class SDeMMC;
class PCI;
} // namespace Model

struct DriveData {
    enum Interface : quint32 { Ata = 0x01, Nvme = 0x02, Usb = 0x04, Scsi = 0x08, Card = 0x10 };

    DriveData();
    ~DriveData();
    DriveData(const DriveData &) = delete;
    DriveData &operator=(const DriveData &) = delete;

    QString name;
    quint32 interfaces = 0;
    bool pending = false; // the drive is still being read: every tab says so
    std::unique_ptr<Model::General> general;
    std::unique_ptr<Model::Partitions> partitions;
    std::unique_ptr<Model::Smart> smart;
    std::unique_ptr<Model::Ata> ata;
    std::unique_ptr<Model::NVMe> nvme;
    std::unique_ptr<Model::USB> usb;
    std::unique_ptr<Model::SCSI> scsi;
    std::unique_ptr<Model::SDeMMC> sdemmc;
    std::unique_ptr<Model::PCI> pci;
    // The NVMe health log, when the drive offered one that could be decoded.
    std::optional<Model::NvmeHealth> nvmeHealth;
};

} // namespace Applications::DriveScope
