// INTERIM, replaced on merge: the status texts and verdicts above the tabs,
// until the shared GUI-free versions (model/TabStatus.h, model/AtaStatus.h,
// model/SmartStatus.h) land. Free of widgets so the report can say the same.
#pragma once
#include <QByteArray>
#include <QString>

namespace Applications::DriveScope {
namespace Model {
class Ata;
class Smart;
} // namespace Model

namespace WindowStatus {

enum class Verdict { Ok, Warning, Error };

struct Status {
    Verdict verdict;
    QString text;
};

// The state line of a tab: data available, not available, or (hosted, and the
// drive has the tab's interface) not available here but natively.
QString tabStateText(bool hasModel, bool hasInterface, bool hosted);
// The Partitions status: Safe Disk is on exactly when there is no table.
QString safeDiskText(bool hasPartitions);
// "ATA Standard: %1" with the model's standard text, "n/a" without a model.
QString ataStandardText(const Model::Ata *ata);
// IDENTIFY checksum: missing without the 0xA5 signature in byte 510, else
// valid when all 512 bytes sum to 0 modulo 256. Null: no data.
Status checksumStatus(const QByteArray *identify);
// Health: no model, no attributes, healthy or not.
Status healthStatus(const Model::Smart *smart);

} // namespace WindowStatus
} // namespace Applications::DriveScope
