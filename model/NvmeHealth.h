// The NVMe SMART / Health Information log (log page 02h): decoding of the
// 512 raw bytes into a plain record.
#pragma once
#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

namespace Applications::DriveScope::Model {

using UInt128 = unsigned __int128;

struct NvmeHealth {
    quint8 criticalWarning = 0; // byte 0, one bit per warning
    int temperatureKelvin = 0;  // bytes 1-2, composite; 0 when not reported
    quint8 availableSpare = 0, availableSpareThreshold = 0, percentageUsed = 0; // bytes 3, 4, 5 (percent)
    // Bytes 32-191: 128-bit little-endian counters; data units are 1,000 blocks of 512 bytes.
    UInt128 dataUnitsRead = 0, dataUnitsWritten = 0, hostReadCommands = 0, hostWriteCommands = 0,
            controllerBusyMinutes = 0, powerCycles = 0, powerOnHours = 0, unsafeShutdowns = 0, mediaErrors = 0,
            errorLogEntries = 0;
    quint32 warningTemperatureMinutes = 0, criticalTemperatureMinutes = 0; // bytes 192-199
    std::array<int, 8> sensorKelvin{};                                     // bytes 200-215, 0 = no sensor

    // False when any critical-warning bit is set or the spare is below its threshold.
    bool healthy() const;
};

// Nothing unless the page is exactly 512 bytes.
std::optional<NvmeHealth> decodeNvmeHealth(const QByteArray &logPage);
// Exact decimal text, also beyond 64 bits.
QString uint128ToString(UInt128 value);

} // namespace Applications::DriveScope::Model
