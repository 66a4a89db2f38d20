// The PCI header library: the text form of a PCI address and the node that
// stands for a PCI function.
//
// Text form (the Linux form): "SSSS:BB:DD.F", hexadecimal segment (1 to 8
// digits, usually 4), bus (1 or 2 digits), device (1 or 2 digits, at most 1f)
// and function (one digit, 0 to 7); letter case does not matter. The short
// form "BB:DD.F" means segment 0.
// Node path of a function: "/devices/pci/ssss:bb:dd.f", lower-case, segment
// at least 4 digits, bus and device 2, function 1.
#pragma once
#include <QString>

namespace Services::PCI::Definitions {
struct Address {
    quint8 bus = 0;
    quint8 device = 0;
    quint8 function = 0;
    quint32 segment = 0;

    bool operator==(const Address &other) const = default;
};
} // namespace Services::PCI::Definitions

namespace Services::PCI::Library::Utils {
// True and `address` filled when `text` is a PCI address in the text form
// above; false with `address` untouched otherwise.
bool strToAddr(const QString &text, Services::PCI::Definitions::Address &address);
// "0000:03:00.0" for segment 0, bus 3, device 0, function 0.
QString addrToStr(const Services::PCI::Definitions::Address &address);
// The path of the PCI node of `address`. It names the node whether or not it
// exists; opening it tells.
QString nodeForAddr(const Services::PCI::Definitions::Address &address);
// True when the machine has the PCI bus folder "/devices/pci/bus", that is,
// when PCI nodes are expected at all.
bool busFolderExists();
} // namespace Services::PCI::Library::Utils
