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

} // namespace Applications::DriveScope::Model
