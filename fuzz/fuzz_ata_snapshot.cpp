// The ATA drive snapshot reader (IDFY/SMST/SMDT/SMTH sections), and what a
// parsed snapshot feeds: the ATA model and the attribute records.
#include "FuzzSupport.h"
#include "model/Ata.h"
#include "model/Smart.h"
#include "model/SmartRecords.h"
#include "model/ata/Snapshot.h"

using namespace Applications::DriveScope::Model;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::setUp();
    AtaSnapshot snapshot;
    QString error;
    if (!parseAtaSnapshot(Fuzz::bytes(data, size), &snapshot, &error)) {
        if (error.isEmpty())
            __builtin_trap(); // a refusal always says why
        return 0;
    }
    size_t sum = 0;
    if (!snapshot.identify.isEmpty()) {
        Ata ata(snapshot.identify);
        sum += Fuzz::walkModel(ata);
    }
    bool ok = false;
    const QList<SmartAttribute> attributes = decodeSmartRecords(snapshot.attributeRecords, &ok);
    if (!ok)
        __builtin_trap(); // the reader only hands out whole records
    Smart smart(attributes, snapshot.healthy.value_or(false));
    sum += Fuzz::walkModel(smart);
    Fuzz::keep(sum);
    return 0;
}
