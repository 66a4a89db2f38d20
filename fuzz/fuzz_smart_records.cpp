// The S.M.A.R.T. tab over any attribute records: the 12-byte record decoder,
// the model in every role, decoded raw values, states and the health verdict, with the health flag from
// the first input byte.
#include "FuzzSupport.h"
#include "model/Smart.h"
#include "model/SmartRecords.h"
#include "model/SmartStatus.h"

using namespace Applications::DriveScope::Model;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::setUp();
    Fuzz::Cursor in(data, size);
    const bool healthy = in.byte() & 1;
    bool ok = false;
    const QList<SmartAttribute> attributes = decodeSmartRecords(in.rest(), &ok);
    if (!ok && !attributes.isEmpty())
        __builtin_trap(); // a rejected buffer must give no attributes
    Smart smart(attributes, healthy);
    size_t sum = Fuzz::walkModel(smart);
    sum += size_t(smartHealth(&smart).text.size());
    for (const SmartAttribute &a : attributes)
        sum += size_t(smartAttributeName(a.id).size() + rawText(a).size()) + size_t(attributeState(a));
    Fuzz::keep(sum);
    return 0;
}
