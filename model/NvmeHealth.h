// The NVMe SMART / Health Information log page (log identifier 02h) decoded
// into a plain record, and the texts the NVMe tab shows for it.
#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace Applications::DriveScope::Model {

using UInt128 = unsigned __int128;

struct NvmeHealth {
    // Critical warning bits (byte 0).
    enum Warning : quint8 {
        SpareBelowThreshold = 0x01,
        Temperature = 0x02,
        ReliabilityDegraded = 0x04,
        ReadOnly = 0x08,
        VolatileBackupFailed = 0x10,
        PersistentMemoryReadOnly = 0x20,
    };

    quint8 criticalWarning = 0;
    int temperatureKelvin = 0; // composite
    quint8 availableSpare = 0, availableSpareThreshold = 0, percentageUsed = 0;
    UInt128 dataUnitsRead = 0, dataUnitsWritten = 0, hostReadCommands = 0, hostWriteCommands = 0,
            controllerBusyMinutes = 0, powerCycles = 0, powerOnHours = 0, unsafeShutdowns = 0, mediaErrors = 0,
            errorLogEntries = 0;
    quint32 warningTemperatureMinutes = 0, criticalTemperatureMinutes = 0;
    std::array<int, 8> sensorKelvin{}; // 0: sensor not reported

    // No critical-warning bit set and the spare at or above its threshold.
    bool healthy() const;
};

// The first 512 bytes of the log page; nothing when fewer were read.
std::optional<NvmeHealth> decodeNvmeHealth(const QByteArray &logPage);

// Exact decimal digits, no grouping.
QString uint128ToString(UInt128 value);

// Translated names of the critical-warning bits that are set, lowest bit first.
QStringList nvmeCriticalWarningNames(quint8 warning);

} // namespace Applications::DriveScope::Model
