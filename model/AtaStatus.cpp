// The ATA tab's standard label and checksum verdict.
#include "model/AtaStatus.h"

#include "model/Ata.h"
#include "platform/I18n.h"

#include <QCoreApplication>

namespace Applications::DriveScope::Model {

ChecksumVerdict checksumVerdict(const QByteArray &identify512)
{
    constexpr int blockSize = 512;
    constexpr quint8 signature = 0xA5;
    if (identify512.size() != blockSize || quint8(identify512[510]) != signature)
        return {trKey("main.ata.chksum.missing", "Checksum missing"), Verdict::Warning};
    quint8 sum = 0;
    for (char c : identify512)
        sum += quint8(c);
    if (sum != 0)
        return {trKey("main.ata.chksum.invalid", "Checksum invalid"), Verdict::Error};
    return {trKey("main.ata.chksum.valid", "Checksum valid"), Verdict::Ok};
}

QString ataStandardLabel(const Ata *ataOrNull)
{
    const QString standard =
        ataOrNull ? ataOrNull->standardText() : QCoreApplication::translate("quill.drivescope", "n/a", "ata.id.gen.na");
    return trKey("main.ata.std", "ATA Standard: %1").arg(standard);
}

} // namespace Applications::DriveScope::Model
