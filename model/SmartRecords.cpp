// Decoding of the 12-byte S.M.A.R.T. attribute records.
#include "model/SmartRecords.h"

namespace Applications::DriveScope::Model {

QList<SmartAttribute> decodeSmartRecords(const QByteArray &data, bool *ok)
{
    constexpr int recordSize = 12;
    QList<SmartAttribute> list;
    const bool whole = data.size() % recordSize == 0;
    if (ok)
        *ok = whole;
    if (!whole)
        return list;
    list.reserve(data.size() / recordSize);
    const auto *bytes = reinterpret_cast<const quint8 *>(data.constData());
    for (qsizetype at = 0; at < data.size(); at += recordSize) {
        const quint8 *r = bytes + at;
        SmartAttribute a;
        a.id = r[0];
        a.value = r[3];
        a.worst = r[4];
        for (int i = 10; i >= 5; --i)
            a.raw = (a.raw << 8) | r[i];
        a.threshold = r[11];
        list.append(a);
    }
    return list;
}

AttributeState attributeState(const SmartAttribute &a)
{
    if (a.threshold == 0)
        return AttributeState::Ok;
    if (a.value <= a.threshold)
        return AttributeState::Failing;
    if (a.worst <= a.threshold)
        return AttributeState::FailedInPast;
    return AttributeState::Ok;
}

quint64 rawNumber(const SmartAttribute &a)
{
    return a.raw & 0xFFFFFFFFFFFFull;
}

QString rawText(const SmartAttribute &a)
{
    const quint64 raw = rawNumber(a);
    switch (a.id) {
    case 0x03: // spin-up time: the low 16 bits in milliseconds
        return QString::number(raw & 0xFFFF);
    case 0x09: // power-on hours: the low 32 bits
        return QStringLiteral("%1 h").arg(raw & 0xFFFFFFFF);
    case 0xBE:
    case 0xC2: { // temperature in the low byte, minimum and maximum in bytes 2 and 4 when set
        const quint64 low = (raw >> 16) & 0xFF, high = (raw >> 32) & 0xFF;
        QString text = QStringLiteral("%1 °C").arg(raw & 0xFF);
        if (low && high && low <= high)
            text += QStringLiteral(" (min/max %1/%2)").arg(low).arg(high);
        return text;
    }
    default:
        return QString::number(raw);
    }
}

} // namespace Applications::DriveScope::Model
