// Decoding of the NVMe SMART / Health Information log page.
#include "model/NvmeHealth.h"

namespace Applications::DriveScope::Model {

namespace {
template <typename T> T littleEndian(const quint8 *bytes, int size)
{
    T value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}
} // namespace

bool NvmeHealth::healthy() const
{
    return criticalWarning == 0 && availableSpare >= availableSpareThreshold;
}

std::optional<NvmeHealth> decodeNvmeHealth(const QByteArray &logPage)
{
    if (logPage.size() != 512)
        return std::nullopt;
    const auto *b = reinterpret_cast<const quint8 *>(logPage.constData());
    NvmeHealth h;
    h.criticalWarning = b[0];
    h.temperatureKelvin = littleEndian<int>(b + 1, 2);
    h.availableSpare = b[3];
    h.availableSpareThreshold = b[4];
    h.percentageUsed = b[5];
    UInt128 *counters[] = {&h.dataUnitsRead,         &h.dataUnitsWritten, &h.hostReadCommands, &h.hostWriteCommands,
                           &h.controllerBusyMinutes, &h.powerCycles,      &h.powerOnHours,     &h.unsafeShutdowns,
                           &h.mediaErrors,           &h.errorLogEntries};
    for (int i = 0; i < int(std::size(counters)); ++i)
        *counters[i] = littleEndian<UInt128>(b + 32 + 16 * i, 16);
    h.warningTemperatureMinutes = littleEndian<quint32>(b + 192, 4);
    h.criticalTemperatureMinutes = littleEndian<quint32>(b + 196, 4);
    for (int i = 0; i < 8; ++i)
        h.sensorKelvin[size_t(i)] = littleEndian<int>(b + 200 + 2 * i, 2);
    return h;
}

QString uint128ToString(UInt128 value)
{
    if (value == 0)
        return QStringLiteral("0");
    QString digits;
    while (value) {
        digits.prepend(QChar(char('0' + int(value % 10))));
        value /= 10;
    }
    return digits;
}

} // namespace Applications::DriveScope::Model
