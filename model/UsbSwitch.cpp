#include "model/UsbSwitch.h"

#include <mutex>

#include "platform/StringUtil.h"
#include "platform/Sys.h"

namespace Applications::DriveScope {

bool usbControllerInfoAllowedBy(const QString &bootParameter)
{
    const QStringList words = StringUtil::split(bootParameter);
    for (const QString &word : words)
        if (word == QLatin1String("app.drivescope.usb.ctrlinfo.disable"))
            return false;
    return true;
}

bool usbControllerInfoEnabled()
{
    static std::once_flag once;
    static bool enabled = true;
    std::call_once(once, [] { enabled = usbControllerInfoAllowedBy(Sys::bootParameter()); });
    return enabled;
}

} // namespace Applications::DriveScope
