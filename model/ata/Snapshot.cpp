// Reader of ATA drive snapshot files.
#include "model/ata/Snapshot.h"

#include <QFile>
#include <QHash>

namespace Applications::DriveScope::Model {

namespace {

constexpr int identifySize = 512;
constexpr int entryCount = 30;
constexpr int entrySize = 12;
constexpr int pageMinimum = 2 + entryCount * entrySize; // revision word, then the entries
constexpr qint64 fileLimit = 1 << 20;

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

quint32 bigEndian32(const char *p)
{
    return quint32(quint8(p[0])) << 24 | quint32(quint8(p[1])) << 16 | quint32(quint8(p[2])) << 8 | quint8(p[3]);
}

QByteArray attributeRecords(const QByteArray &data, const QByteArray &thresholds)
{
    QHash<quint8, quint8> thresholdOf;
    for (int i = 0; i < entryCount && !thresholds.isEmpty(); ++i) {
        const int at = 2 + i * entrySize;
        if (const quint8 id = quint8(thresholds[at]))
            thresholdOf.insert(id, quint8(thresholds[at + 1]));
    }
    QByteArray records;
    for (int i = 0; i < entryCount && !data.isEmpty(); ++i) {
        const int at = 2 + i * entrySize;
        const quint8 id = quint8(data[at]);
        if (id == 0)
            continue;
        QByteArray record = data.mid(at, entrySize);
        record[11] = char(thresholdOf.value(id, 0));
        records.append(record);
    }
    return records;
}

} // namespace

bool parseAtaSnapshot(const QByteArray &bytes, AtaSnapshot *out, QString *error)
{
    QHash<QByteArray, QByteArray> sections;
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 8)
            return fail(error, QStringLiteral("Truncated section header at offset %1.").arg(at));
        const QByteArray tag = bytes.mid(at, 4);
        const quint32 length = bigEndian32(bytes.constData() + at + 4);
        if (length > quint64(bytes.size() - at - 8))
            return fail(error, QStringLiteral("Section %1 at offset %2 claims %3 bytes but only %4 follow.")
                                   .arg(QString::fromLatin1(tag.toHex()), QString::number(at), QString::number(length),
                                        QString::number(bytes.size() - at - 8)));
        if (sections.contains(tag))
            return fail(error, QStringLiteral("Section %1 appears twice (offset %2).")
                                   .arg(QString::fromLatin1(tag), QString::number(at)));
        sections.insert(tag, bytes.mid(at + 8, length));
        at += 8 + qsizetype(length);
    }

    const QByteArray identify = sections.value("IDFY");
    if (!sections.contains("IDFY"))
        return fail(error, QStringLiteral("No IDFY section."));
    if (identify.size() != identifySize)
        return fail(error, QStringLiteral("IDFY section holds %1 bytes, not 512.").arg(identify.size()));
    std::optional<bool> healthy;
    if (sections.contains("SMST")) {
        const QByteArray status = sections.value("SMST");
        if (status.size() != 4)
            return fail(error, QStringLiteral("SMST section holds %1 bytes, not 4.").arg(status.size()));
        healthy = bigEndian32(status.constData()) != 0;
    }
    for (const char *tag : {"SMDT", "SMTH"})
        if (sections.contains(tag) && sections.value(tag).size() < pageMinimum)
            return fail(error, QStringLiteral("%1 section holds %2 bytes, fewer than %3.")
                                   .arg(QLatin1String(tag))
                                   .arg(sections.value(tag).size())
                                   .arg(pageMinimum));

    if (out) {
        out->identify = identify;
        out->healthy = healthy;
        out->attributeRecords = attributeRecords(sections.value("SMDT"), sections.value("SMTH"));
    }
    return true;
}

bool loadAtaSnapshot(const QString &path, AtaSnapshot *out, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    if (file.size() > fileLimit)
        return fail(error,
                    QStringLiteral("%1 is larger than a snapshot can be (%2 bytes).").arg(path).arg(file.size()));
    QString why;
    if (!parseAtaSnapshot(file.read(fileLimit + 1), out, &why))
        return fail(error, QStringLiteral("%1: %2").arg(path, why));
    return true;
}

} // namespace Applications::DriveScope::Model
