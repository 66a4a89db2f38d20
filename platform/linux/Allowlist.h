// Everything the program may ever send to a device, per class of device: one
// table of ioctl requests and one of command opcodes, each entry naming the
// classes it may reach. Reader::ioctl asks permits() before every request;
// anything not listed for the device's class is refused, so no path can write.
#pragma once
#include <QString>
#include <QtGlobal>

namespace Services::Nodes::Linux::Allowlist {

// What the program knows a device node to be. An opcode's meaning depends on
// the device: 0xA1 is ATA PASS-THROUGH (12) to a disk but BLANK to an optical
// drive, so the class, not the opcode alone, decides.
enum class DeviceClass : quint8 {
    ScsiDisk,      // SCSI peripheral type 0 (direct access) or 0Eh (simplified direct access)
    LibataOptical, // type 5 behind libata, which translates ATA PASS-THROUGH (16) for ATAPI
    OtherScsi,     // type 5 on any other transport, tapes, changers, every other type
    Nvme,          // NVMe namespace block device or controller character device
    Mmc,           // eMMC/SD block device
    Plain,         // anything else (virtio, loop, md): block-layer size requests only
};
constexpr int deviceClassCount = 6;
const char *className(DeviceClass c);
// The class of a SCSI device from its peripheral device type (sysfs
// device/type or INQUIRY byte 0 bits 4:0; -1 unknown) and whether libata
// drives it. An unknown type is OtherScsi: nothing but INQUIRY.
DeviceClass scsiClass(int peripheralType, bool libata);

using ClassMask = quint8;
constexpr ClassMask mask(DeviceClass c)
{
    return ClassMask(1u << unsigned(c));
}

// What an allowed ioctl carries, and so what must be inspected.
enum class Payload { Nothing, ScsiCommand, NvmeAdminCommand, MmcCommand };

struct Request {
    unsigned long request;
    const char *name;
    Payload payload;
    ClassMask classes;
};

// Commands inside the payloads. For ATA PASS-THROUGH the ATA command (and, for
// S.M.A.R.T., the feature) is listed; for NVMe the admin opcode and CNS value
// (Identify) or log identifier (Get Log Page).
enum class Channel { Scsi, Ata, Nvme, Mmc };

struct Command {
    Channel channel;
    quint8 opcode;
    int sub; // ATA feature / NVMe CNS; -1 when it does not matter
    const char *name;
    ClassMask classes;
};

const Request *requests(int *count);
const Command *commands(int *count);

// True when `command` of `channel` is listed for `c` (`sub` as in Command).
bool allows(DeviceClass c, Channel channel, quint8 opcode, int sub = -1);
// True when the request and its payload are listed for the class; otherwise
// false with a plain reason in *why.
bool permits(DeviceClass c, unsigned long request, const void *argument, QString *why = nullptr);
// Checks one SCSI CDB alone (used by permits and by tests).
bool permitsCdb(DeviceClass c, const quint8 *cdb, int length, bool dataIn, QString *why = nullptr);

} // namespace Services::Nodes::Linux::Allowlist
