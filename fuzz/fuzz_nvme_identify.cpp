// NVMe Identify data: the controller and namespace structures, the version
// text and the namespace ids.
#include "FuzzSupport.h"
#include "platform/linux/Commands.h"

using namespace Services::Nodes::Linux::Commands;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::setUp();
    const QByteArray reply = Fuzz::bytes(data, size);
    size_t sum = 0;
    const NvmeController c = parseNvmeController(reply);
    sum += size_t(c.valid) + c.serial.size() + c.model.size() + c.firmware.size() + c.namespaceCount;
    sum += size_t(nvmeVersionText(c.version).size());
    const NvmeNamespace ns = parseNvmeNamespace(reply);
    sum += size_t(ns.valid) + ns.size + ns.capacity + ns.utilisation;
    sum += size_t(nguidText(ns.nguid).size() + euiText(ns.eui64).size());
    // The id helpers also see ids of any length from sysfs.
    sum += size_t(nguidText(reply.left(16)).size() + nguidText(reply).size() + euiText(reply.left(8)).size() +
                  euiText(reply).size());
    Fuzz::keep(sum);
    return 0;
}
