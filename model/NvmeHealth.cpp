// Decoding of the NVMe SMART / Health Information log page: byte offsets of
// the NVM Express base standard, all fields little-endian.
#include "model/NvmeHealth.h"

#include "platform/I18n.h"

namespace Applications::DriveScope::Model {

namespace {

constexpr int LogPageSize = 512;

UInt128 littleEndian(const QByteArray &data, int offset, int bytes)
{
    UInt128 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | quint8(data[offset + i]);
    return value;
}

struct WarningName {
    quint8 bit;
    const char *key;
    const char *text;
};

constexpr WarningName warningNames[] = {
    {NvmeHealth::SpareBelowThreshold, "nvme.health.warning.spare", "available spare below threshold"},
    {NvmeHealth::Temperature, "nvme.health.warning.temperature", "temperature above or below threshold"},
    {NvmeHealth::ReliabilityDegraded, "nvme.health.warning.reliability", "reliability degraded"},
    {NvmeHealth::ReadOnly, "nvme.health.warning.readonly", "read-only mode"},
    {NvmeHealth::VolatileBackupFailed, "nvme.health.warning.backup", "volatile backup failed"},
    {NvmeHealth::PersistentMemoryReadOnly, "nvme.health.warning.pmr", "persistent memory region read-only"},
};

} // namespace

bool NvmeHealth::healthy() const
{
    return criticalWarning == 0 && availableSpare >= availableSpareThreshold;
}

std::optional<NvmeHealth> decodeNvmeHealth(const QByteArray &logPage)
{
    if (logPage.size() < LogPageSize)
        return std::nullopt;
    const QByteArray &d = logPage;
    NvmeHealth h;
    h.criticalWarning = quint8(d[0]);
    h.temperatureKelvin = int(littleEndian(d, 1, 2));
    h.availableSpare = quint8(d[3]);
    h.availableSpareThreshold = quint8(d[4]);
    h.percentageUsed = quint8(d[5]);
    UInt128 *const counters[] = {
        &h.dataUnitsRead, &h.dataUnitsWritten, &h.hostReadCommands, &h.hostWriteCommands, &h.controllerBusyMinutes,
        &h.powerCycles,   &h.powerOnHours,     &h.unsafeShutdowns,  &h.mediaErrors,       &h.errorLogEntries};
    int offset = 32; // bytes 32..191: ten 16-byte counters
    for (UInt128 *counter : counters) {
        *counter = littleEndian(d, offset, 16);
        offset += 16;
    }
    h.warningTemperatureMinutes = quint32(littleEndian(d, 192, 4));
    h.criticalTemperatureMinutes = quint32(littleEndian(d, 196, 4));
    for (int i = 0; i < 8; ++i)
        h.sensorKelvin[i] = int(littleEndian(d, 200 + 2 * i, 2));
    return h;
}

QString uint128ToString(UInt128 value)
{
    char digits[40];
    int at = sizeof digits;
    do {
        digits[--at] = char('0' + int(value % 10));
        value /= 10;
    } while (value != 0);
    return QString::fromLatin1(digits + at, int(sizeof digits) - at);
}

QStringList nvmeCriticalWarningNames(quint8 warning)
{
    QStringList names;
    for (const WarningName &w : warningNames) {
        if (warning & w.bit)
            names << trKey(w.key, w.text);
    }
    return names;
}

} // namespace Applications::DriveScope::Model
