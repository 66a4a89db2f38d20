// The ATA tab over any IDENTIFY block: decoding, every row in every role, the
// standard text and both verdicts. A 512-byte input is what a drive returns;
// other sizes exercise the model's own guard for short or long blocks.
#include "FuzzSupport.h"
#include "model/Ata.h"
#include "model/AtaStatus.h"

using namespace Applications::DriveScope::Model;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::setUp();
    const QByteArray block = Fuzz::bytes(data, size);
    Ata ata(block);
    size_t sum = Fuzz::walkModel(ata);
    for (const AtaRow &row : ata.rows())
        sum += size_t(row.label.size() + row.value.toString().size());
    sum += size_t(ata.headerRows().size() + ata.standardText().size() + ata.level() + ata.isCompactFlash());
    sum += size_t(checksumVerdict(block).text.size() + ataStandardLabel(&ata).size());
    Fuzz::keep(sum);
    return 0;
}
