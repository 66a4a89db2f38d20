// The NVMe health log over any bytes: the log-page decoder, the NVMe tab's
// HEALTH INFORMATION rows in every role and the verdict.
#include "FuzzSupport.h"
#include "model/NVMe.h"
#include "model/NvmeHealth.h"
#include "model/SmartStatus.h"

using namespace Applications::DriveScope::Model;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::setUp();
    const QByteArray log = Fuzz::bytes(data, size);
    const std::optional<NvmeHealth> health = decodeNvmeHealth(log);
    if (health.has_value() != (size >= 512))
        __builtin_trap(); // a page is decoded exactly when it is whole
    NVMe model(nullptr, QStringLiteral("/fuzz"), health);
    size_t sum = Fuzz::walkModel(model);
    sum += size_t(nvmeHealthVerdict(health).text.size());
    if (health)
        sum += size_t(uint128ToString(health->dataUnitsRead).size() + uint128ToString(health->hostReadCommands).size());
    Fuzz::keep(sum);
    return 0;
}
