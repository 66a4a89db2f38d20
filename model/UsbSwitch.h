// The one switch of the program's own: the boot parameter word
// "app.drivescope.usb.ctrlinfo.disable" turns off the USB controller rows.
#pragma once
#include <QString>

namespace Applications::DriveScope {
// False when one word of `bootParameter` is exactly the disabling word.
bool usbControllerInfoAllowedBy(const QString &bootParameter);
// The process-wide switch, read from the boot parameter on first use and
// never again (a later change of the boot parameter has no effect).
bool usbControllerInfoEnabled();
} // namespace Applications::DriveScope
