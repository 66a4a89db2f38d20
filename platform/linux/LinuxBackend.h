// The real machine: drives from sysfs, raw reads through read-only commands.
//
// Node paths:
//   /devices/block/<kernel name>   a whole disk ("/devices/block/sda",
//                                  "/devices/block/nvme0n1"); provider 0 is the
//                                  drive, provider 1 its NVMe controller or its
//                                  SCSI view (NODE_SET_SCSI names it)
//   /devices/pci/SSSS:BB:DD.F      a PCI function (lower-case hex), as returned
//                                  by companion-node queries (type 2)
//   /devices/pci/bus               present when the machine has a PCI bus
//   /devices/vsctrl                the volume-server control node: "STATUS" is
//                                  "OFF", as Linux has no volume server
// The canonical name of a disk is "block:MAJ:MIN".
#pragma once
#include <memory>

#include "platform/Nodes.h"

namespace Services::Nodes::Linux {
std::unique_ptr<Backend> createBackend();
class DeviceIo;
// A backend over other roots (tests: unpacked sysfs dumps, synthetic trees),
// and with other device calls (null: the system's).
std::unique_ptr<Backend> createBackend(const QString &sysRoot, const QString &devRoot,
                                       std::shared_ptr<DeviceIo> io = nullptr);
} // namespace Services::Nodes::Linux
