// Everything the program may ever send to a device: one table of ioctl
// requests and one of command opcodes. Reader::ioctl asks permits() before
// every request; anything not listed here is refused, so no path can write.
#pragma once
#include <QString>
#include <QtGlobal>

namespace Services::Nodes::Linux::Allowlist {

// What an allowed ioctl carries, and so what must be inspected.
enum class Payload { Nothing, ScsiCommand, NvmeAdminCommand, MmcCommand };

struct Request {
    unsigned long request;
    const char *name;
    Payload payload;
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
};

const Request *requests(int *count);
const Command *commands(int *count);

// True when the request and its payload are in the tables; otherwise false
// with a plain reason in *why.
bool permits(unsigned long request, const void *argument, QString *why = nullptr);
// Checks one SCSI CDB alone (used by permits and by tests).
bool permitsCdb(const quint8 *cdb, int length, bool dataIn, QString *why = nullptr);

} // namespace Services::Nodes::Linux::Allowlist
