// Replies to the ATA commands sent through ATA PASS-THROUGH: the sense data
// with its ATA registers (health and power mode read from them), the IDENTIFY
// block and its strings, and the S.M.A.R.T. data and threshold pages merged to
// attribute records. The first byte times four is where the data page ends.
#include "FuzzSupport.h"
#include "platform/linux/Commands.h"

using namespace Services::Nodes::Linux::Commands;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::setUp();
    Fuzz::Cursor in(data, size);
    const quint8 split = in.byte();
    const QByteArray all = in.rest();
    size_t sum = 0;

    const Sense sense = parseSense(all);
    sum += size_t(sense.valid) + sense.key + sense.asc + sense.hasAtaRegisters + sense.status;
    sum += size_t(smartStatus(sense).value_or(7)) + size_t(powerMode(sense));
    sum += size_t(powerModeText(powerMode(sense)).size()) + senseIsInvalidCommand(sense);

    sum += size_t(ataString(all, 27, 46).size() + ataString(all, 10, 19).size() + ataString(all, 255, 0).size());
    sum += size_t(ataWord(all, 255)) + ataWord(all, 256) + ataWord(all, -1);
    sum += size_t(identifySmartSupported(all)) + identifySmartEnabled(all);

    const qsizetype cut = qMin(qsizetype(split) * 4, all.size());
    const QByteArray merged = mergeSmartAttributes(all.left(cut), all.mid(cut));
    if (!merged.isNull() && merged.size() % 12 != 0)
        __builtin_trap(); // merged attributes are whole 12-byte records
    sum += size_t(merged.size());
    Fuzz::keep(sum);
    return 0;
}
