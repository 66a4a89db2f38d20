// The USB descriptors sysfs shows (device descriptor and every configuration)
// and the BOS descriptor with its capabilities, and the speed texts.
#include "FuzzSupport.h"
#include "platform/linux/Registers.h"

using namespace Services::Nodes::Linux::Registers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::setUp();
    const QByteArray bytes = Fuzz::bytes(data, size);
    size_t sum = 0;
    const UsbDescriptors d = parseUsbDescriptors(bytes);
    sum += size_t(d.valid) + d.bcdUsb + d.vendor + d.product + d.configurations;
    for (const UsbSetting &s : d.settings)
        sum += size_t(s.configuration) + s.interface + s.alternate + s.usbClass;
    sum += size_t(usbMaxSpeedWithoutBos(d.bcdUsb));
    const UsbBos bos = parseUsbBos(bytes);
    sum += size_t(bos.valid) + bos.containerId.size() + bos.maxSpeedMbit;
    sum += size_t(usbSpeedText(double(bos.maxSpeedMbit), size > 0 ? data[0] : 1).size());
    Fuzz::keep(sum);
    return 0;
}
