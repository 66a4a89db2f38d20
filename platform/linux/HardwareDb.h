// Vendor and product names from the system's hardware database (udev's hwdb,
// the one lspci and lsusb read), by id.
#pragma once
#include <QString>

namespace Services::Nodes::Linux {

enum class HardwareBus { Pci, Usb };

// The vendor's name (product < 0) or the product's; null when the database
// has none or cannot be opened.
QString hardwareDatabaseName(HardwareBus bus, quint16 vendor, int product);

} // namespace Services::Nodes::Linux
