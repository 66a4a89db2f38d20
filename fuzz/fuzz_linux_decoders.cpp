// The Linux backend's decoders of bytes that come from devices and sysfs:
// sense data, IDENTIFY text, VPD pages, NVMe and EXT_CSD replies, USB
// descriptors and BOS, card registers, partition-table blocks, PCI addresses.
#include <QByteArray>
#include <QString>

#include "platform/linux/Commands.h"
#include "platform/linux/Registers.h"

using namespace Services::Nodes::Linux;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = QString::fromLatin1(bytes);
    const Commands::Sense sense = Commands::parseSense(bytes);
    (void)Commands::smartStatus(sense);
    (void)Commands::powerMode(sense);
    (void)Commands::identifyFromText(text);
    (void)Commands::ataString(bytes, 27, 46);
    (void)Commands::mergeSmartAttributes(bytes.left(512), bytes.mid(512));
    (void)Commands::parseInquiry(bytes);
    (void)Commands::vpdSupportedPages(bytes);
    (void)Commands::vpdSerial(bytes);
    (void)Commands::identifyFromVpd89(bytes);
    (void)Commands::parseNvmeController(bytes);
    (void)Commands::parseNvmeNamespace(bytes);
    (void)Commands::parseExtCsd(bytes);
    (void)Registers::parseUsbDescriptors(bytes);
    (void)Registers::parseUsbBos(bytes);
    (void)Registers::registerBytes(text, 16);
    (void)Registers::cardTransferKhz(bytes.left(16), size & 1);
    (void)Registers::sdVersion(bytes.left(8));
    (void)Registers::mmcVersion(bytes.left(16), size);
    (void)Registers::detectPartitionTable(bytes.left(512), bytes.mid(512));
    (void)Registers::parsePciAddress(text);
    return 0;
}
