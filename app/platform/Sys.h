// Runtime queries of the platform.
#pragma once
#include <QString>

namespace Sys {
enum : quint32 {
    InfoHosted = 0x20001,       // non-zero when running hosted, with altered device data
    InfoNoCrashDump = 0x20011,  // 1 when DRIVESCOPE_NO_CRASHDUMP is set
    InfoAddressModule = 0x20027 // module of an address; see crash/
};
// Answers the queries above; 0 for anything unknown.
quint64 info(quint32 what);
QString bootParameter();
} // namespace Sys
