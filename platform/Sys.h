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

// The module holding an address, for InfoAddressModule.
struct AddressModule {
    const char *name; // the loader's text, valid while the module is loaded; not to be freed
    quint64 base;
    quint64 size;
};
// InfoAddressModule: fills `result` (an AddressModule) for `address` and
// answers 1, or 0 when no loaded module holds it. Usable in the crash handler
// but for the loader's lock. Other queries answer 0.
quint64 info(quint32 what, const void *address, void *result);
QString bootParameter();
} // namespace Sys
