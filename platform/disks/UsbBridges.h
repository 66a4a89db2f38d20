// The disk utility library's knowledge of USB-to-storage bridge chips: which
// controller sits behind a USB drive, from its USB vendor and product id.
#pragma once
#include <QByteArray>
#include <QString>
#include <optional>

namespace Libraries::Disks::Utils {

// An absent field means the library does not know that value.
struct UsbControllerInfo {
    std::optional<QString> vendor;
    std::optional<QString> name;
    std::optional<QString> firmware;
    std::optional<QByteArray> flashId;
};

// One known bridge chip.
struct UsbBridge {
    quint16 vendorId;
    quint16 productId;
    const char *vendor;
    const char *chip;
};

// The bridge with these ids, or nullptr.
const UsbBridge *findUsbBridge(quint16 vendorId, quint16 productId);
// A device release number (bcdDevice) as "1.00".
QString bcdRelease(quint16 bcd);
// What is known about the controller of the USB drive node at `path`: vendor
// and chip from the bridge table, firmware from the device release number
// ("USB_FIRMWARE" element of "FIRMWARE"). Everything absent when the node
// cannot be read or its ids are not in the table.
UsbControllerInfo getUsbControllerInfo(const QString &path);

} // namespace Libraries::Disks::Utils
