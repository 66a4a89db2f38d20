// INTERIM, replaced on merge (see WindowStatus.h).
#include "WindowStatus.h"

#include "model/Ata.h"
#include "model/Smart.h"
#include "platform/I18n.h"

namespace Applications::DriveScope::WindowStatus {

QString tabStateText(bool hasModel, bool hasInterface, bool hosted)
{
    if (hasModel)
        return trKey("main.state.avail", "DEVICE DATA AVAILABLE");
    if (hasInterface && hosted)
        return trKey("main.state.notavail.native", "DEVICE DATA NOT AVAILABLE, USE /S INSTEAD");
    return trKey("main.state.notavail.type", "DEVICE DATA NOT AVAILABLE");
}

QString safeDiskText(bool hasPartitions)
{
    return hasPartitions ? trKey("main.part.safedisk.off", "SAFE DISK NOT ENABLED")
                         : trKey("main.part.safedisk.on", "SAFE DISK ENABLED");
}

QString ataStandardText(const Model::Ata *ata)
{
    const QString standard = ata ? ata->standardText() : trKey("ata.id.gen.na", "n/a");
    return trKey("main.ata.std", "ATA Standard: %1").arg(standard);
}

Status checksumStatus(const QByteArray *identify)
{
    if (!identify)
        return {Verdict::Warning, trKey("main.state.notavail.type", "DEVICE DATA NOT AVAILABLE")};
    if (identify->size() != 512 || quint8(identify->at(510)) != 0xA5)
        return {Verdict::Warning, trKey("main.ata.chksum.missing", "Checksum missing")};
    quint8 sum = 0;
    for (char byte : *identify)
        sum += quint8(byte);
    if (sum != 0)
        return {Verdict::Error, trKey("main.ata.chksum.invalid", "Checksum invalid")};
    return {Verdict::Ok, trKey("main.ata.chksum.valid", "Checksum valid")};
}

Status healthStatus(const Model::Smart *smart)
{
    if (!smart)
        return {Verdict::Warning, trKey("main.state.notavail.type", "DEVICE DATA NOT AVAILABLE")};
    if (smart->attributes().isEmpty())
        return {Verdict::Warning, trKey("main.smart.health.na", "Health not available")};
    if (smart->healthy())
        return {Verdict::Ok, trKey("main.smart.health.okay", "Drive healthy")};
    return {Verdict::Error, trKey("main.smart.health.notokay", "Drive not healthy")};
}

} // namespace Applications::DriveScope::WindowStatus
