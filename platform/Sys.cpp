#include "platform/Sys.h"

#include "platform/Nodes.h"

#include <cstdlib>

quint64 Sys::info(quint32 what)
{
    switch (what) {
    case InfoHosted:
        return Services::Nodes::Backend::instance().hosted() ? 1 : 0;
    case InfoNoCrashDump:
        return std::getenv("DRIVESCOPE_NO_CRASHDUMP") ? 1 : 0;
    default:
        return 0;
    }
}

QString Sys::bootParameter()
{
    return Services::Nodes::Backend::instance().bootParameter();
}
