// SCSI INQUIRY replies: the standard data and the VPD pages the backend reads
// (supported pages, unit serial number, ATA Information with its IDENTIFY).
#include "FuzzSupport.h"
#include "platform/linux/Commands.h"

using namespace Services::Nodes::Linux::Commands;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::setUp();
    const QByteArray reply = Fuzz::bytes(data, size);
    size_t sum = 0;
    const Inquiry inquiry = parseInquiry(reply);
    sum += size_t(inquiry.valid) + inquiry.peripheralType + inquiry.removable + inquiry.version;
    sum += size_t(inquiry.vendor.size() + inquiry.product.size() + inquiry.revision.size());
    sum += size_t(vpdSupportedPages(reply).size()) + size_t(vpdSerial(reply).size());
    for (quint8 page :
         {quint8(0x00), quint8(0x80), quint8(0x83), quint8(0x89), reply.size() < 2 ? quint8(0) : quint8(reply[1])}) {
        const QByteArray p = vpdPage(reply, page);
        if (p.size() > reply.size())
            __builtin_trap(); // a page is never longer than the reply holding it
        sum += size_t(p.size());
    }
    const QByteArray identify = identifyFromVpd89(reply);
    if (!identify.isNull() && identify.size() != 512)
        __builtin_trap();
    sum += size_t(identify.size());
    Fuzz::keep(sum);
    return 0;
}
