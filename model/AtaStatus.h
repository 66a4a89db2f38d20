// The verdicts shown above the ATA table, shared by the window and the report.
#pragma once
#include "model/Verdict.h"

#include <QByteArray>
#include <QString>

namespace Applications::DriveScope::Model {

class Ata;

struct ChecksumVerdict {
    QString text;
    Verdict verdict;
};

// The IDENTIFY integrity word: no 0xA5 signature in byte 510 is "missing"
// (warning); otherwise a byte sum of 0 modulo 256 is "valid", any other
// "invalid" (error). A block that is not 512 bytes long has no integrity word
// to judge and counts as "missing".
ChecksumVerdict checksumVerdict(const QByteArray &identify512);

// "ATA Standard: %1" with the model's standard text, or "n/a" without a model.
QString ataStandardLabel(const Ata *ataOrNull);

} // namespace Applications::DriveScope::Model
