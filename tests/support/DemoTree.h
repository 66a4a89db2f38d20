// A simulated machine for the window's tests and benchmark: one drive of each
// kind as a node-tree file the simulator reads, which a test may edit while
// the program runs. The SATA drive carries real IDENTIFY and S.M.A.R.T. data
// from the shared test data when it is there, a synthetic block otherwise.
#pragma once
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>
#include <QtEndian>

#include "model/ata/Snapshot.h"

namespace DemoTree {

const QString Sata = QStringLiteral("/devices/sata/disk0");
const QString SataNoSignature = QStringLiteral("/devices/sata/disk1");
const QString SataBadSum = QStringLiteral("/devices/sata/disk2");
const QString Nvme = QStringLiteral("/devices/nvme/nvme0n1");
const QString Usb = QStringLiteral("/devices/usb/stick0");
const QString Card = QStringLiteral("/devices/mmc/card0");
const QString Scsi = QStringLiteral("/devices/scsi/tape0");
const QString Plain = QStringLiteral("/devices/ram/ram0");
const QString Broken = QStringLiteral("/devices/sata/broken");

struct AtaData {
    QByteArray identify;   // 512 bytes
    QByteArray attributes; // 12-byte records
    bool healthy = true;
};

// A 512-byte IDENTIFY block with model text, signature and checksum.
inline QByteArray syntheticIdentify()
{
    QByteArray id(512, '\0');
    const QByteArray model = QByteArrayLiteral("ACME SATA SSD 500GB                     ");
    for (int i = 0; i + 1 < model.size() && i < 40; i += 2) { // w27-46, bytes swapped per word
        id[54 + i] = model[i + 1];
        id[54 + i + 1] = model[i];
    }
    id[160] = char(0xF0); // w80: ATA/ATAPI-4..7
    id[510] = char(0xA5);
    quint8 sum = 0;
    for (int i = 0; i < 511; ++i)
        sum += quint8(id[i]);
    id[511] = char(quint8(-sum));
    return id;
}

inline QByteArray attributeRecord(quint8 id, quint8 value, quint8 worst, quint64 raw, quint8 threshold)
{
    QByteArray r(12, '\0');
    r[0] = char(id);
    r[3] = char(value);
    r[4] = char(worst);
    for (int i = 0; i < 6; ++i)
        r[5 + i] = char((raw >> (8 * i)) & 0xFF);
    r[11] = char(threshold);
    return r;
}

// Real data when the shared folder has it (`shared` is …/testdata or empty).
inline AtaData sataData(const QString &shared)
{
    if (!shared.isEmpty()) {
        const QDir dir(shared + QStringLiteral("/ata-drives"));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        for (const QString &name : files) {
            if (!name.startsWith(QLatin1String("ST")) && !name.startsWith(QLatin1String("SAMSUNG")))
                continue;
            Applications::DriveScope::Model::AtaSnapshot snapshot;
            if (Applications::DriveScope::Model::loadAtaSnapshot(dir.filePath(name), &snapshot, nullptr) &&
                !snapshot.attributeRecords.isEmpty())
                return {snapshot.identify, snapshot.attributeRecords, snapshot.healthy.value_or(true)};
        }
    }
    AtaData data;
    data.identify = syntheticIdentify();
    data.attributes = attributeRecord(0x01, 100, 100, 0, 6) + attributeRecord(0x05, 100, 100, 0, 36) +
                      attributeRecord(0x09, 97, 97, 2763, 0) + attributeRecord(0xC2, 36, 52, 0x2400000024ull, 0);
    return data;
}

inline QJsonObject buffer(const QByteArray &bytes)
{
    return QJsonObject{{"buffer", QString::fromLatin1(bytes.toHex(' '))}};
}

inline QJsonObject ataNode(const QString &label, const AtaData &data)
{
    return QJsonObject{
        {"drive", true},
        {"label", label},
        {"properties", QJsonObject{{"TYPE", "SATA"},
                                   {"NAME", label},
                                   {"ATA_SMART_ENABLED", QJsonObject{{"name", "ATA_SMART_ENABLED"}, {"int", 1}}},
                                   {"ATA_SMART_STATUS", data.healthy ? 1 : 0}}},
        {"sets",
         QJsonObject{{"ATA_SMART_ATTRIBUTES", buffer(data.attributes)}, {"ATA_IDENTIFY", buffer(data.identify)}}},
        {"storage", QJsonObject{{"blockSize", 512}, {"blockCount", 2048}}},
    };
}

inline QJsonObject typedNode(const QString &label, const QString &type)
{
    return QJsonObject{{"drive", true},
                       {"label", label},
                       {"properties", QJsonObject{{"TYPE", type}, {"NAME", label}}},
                       {"storage", QJsonObject{{"blockSize", 512}, {"blockCount", 2048}}}};
}

// The whole machine. `safeDisk` puts the USB stick under the volume server.
inline QJsonObject machine(const QString &shared, bool hosted = false, bool safeDisk = true)
{
    const AtaData sata = sataData(shared);
    AtaData noSignature = sata;
    noSignature.identify[510] = 0;
    AtaData badSum = sata;
    badSum.identify[100] = char(quint8(badSum.identify[100]) + 1);

    QJsonObject scsi = typedNode(QStringLiteral("ACME Tape"), QStringLiteral("SCSI"));
    scsi.insert("sets", QJsonObject{{"GET_SCSI_INQUIRY", buffer(QByteArray(36, '\x01'))}});

    QJsonObject nodes{
        {Sata, ataNode(QStringLiteral("ACME SATA SSD"), sata)},
        {SataNoSignature, ataNode(QStringLiteral("Old PATA disk"), noSignature)},
        {SataBadSum, ataNode(QStringLiteral("Damaged disk"), badSum)},
        {Nvme, typedNode(QStringLiteral("ACME NVMe"), QStringLiteral("NVMe"))},
        {Usb, typedNode(QStringLiteral("ACME USB stick"), QStringLiteral("USB"))},
        {Card, typedNode(QStringLiteral("SD card"), QStringLiteral("CARD"))},
        {Scsi, scsi},
        {Plain, typedNode(QStringLiteral("RAM disk"), QStringLiteral("RAM"))},
        {Broken, QJsonObject{{"drive", true}, {"label", "Broken disk"}, {"fail", QJsonArray{"open"}}}},
    };
    if (safeDisk) {
        nodes.insert(
            "/devices/vsctrl",
            QJsonObject{{"properties", QJsonObject{{"STATUS", "ON"}, {"NODES", QJsonArray{QJsonArray{Usb}}}}}});
    }
    return QJsonObject{{"system", QJsonObject{{"hosted", hosted}, {"bootParameter", ""}}}, {"nodes", nodes}};
}

// Writes `tree` to `file` in one go, so the simulator never reads half a file.
inline bool write(const QString &file, const QJsonObject &tree)
{
    const QString temporary = file + QStringLiteral(".new");
    QFile f(temporary);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(QJsonDocument(tree).toJson());
    f.close();
    QFile::remove(file);
    return QFile::rename(temporary, file);
}

} // namespace DemoTree
