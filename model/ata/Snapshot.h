// Reader of ATA drive snapshot files: tagged sections IDFY (IDENTIFY block),
// SMST (health), SMDT (attribute page) and SMTH (threshold page), each a
// 4-byte ASCII tag, a 4-byte big-endian length and the bytes.
#pragma once
#include <QByteArray>
#include <QString>
#include <optional>

namespace Applications::DriveScope::Model {

struct AtaSnapshot {
    QByteArray identify;         // the 512-byte IDENTIFY block
    std::optional<bool> healthy; // absent when the snapshot holds no SMST
    // One 12-byte record per used attribute (id not 0), in page order, with
    // the threshold of the same id in byte 11; empty without SMDT.
    QByteArray attributeRecords;
};

// Parses a snapshot held in memory. On a malformed one returns false and sets
// *error (may be null) to a sentence naming the section and offset.
bool parseAtaSnapshot(const QByteArray &bytes, AtaSnapshot *out, QString *error);
// Reads and parses a file; files above 1 MiB are refused.
bool loadAtaSnapshot(const QString &path, AtaSnapshot *out, QString *error);

} // namespace Applications::DriveScope::Model
