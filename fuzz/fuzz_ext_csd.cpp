// The eMMC EXT_CSD register as SEND_EXT_CSD returns it (512 bytes) or as the
// kernel's debugfs shows it, and the texts of its life-time fields.
#include "FuzzSupport.h"
#include "platform/linux/Commands.h"

using namespace Services::Nodes::Linux::Commands;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::setUp();
    const ExtCsd e = parseExtCsd(Fuzz::bytes(data, size));
    size_t sum = size_t(e.valid) + e.revision + e.partitioningEnabled + e.enhancedAttribute + e.extendedAttribute;
    for (quint64 gpp : e.gppSize)
        sum += size_t(gpp);
    sum += size_t(e.deviceTypes.size());
    sum += size_t(lifeTimeText(e.lifeTimeA).size() + lifeTimeText(e.lifeTimeB).size() + preEolText(e.preEol).size());
    if (size > 0)
        sum += size_t(lifeTimeText(data[0]).size() + preEolText(data[0]).size());
    Fuzz::keep(sum);
    return 0;
}
