// Loaded modules of the running program and starting other programs; both
// usable from the crash handler (no heap).
#pragma once
#include <QtGlobal>

#include <cstddef>

namespace Binary {
struct ModuleInfo {
    const char *name = nullptr; // path of the object; null when the loader has none
    quint64 base = 0;           // lowest mapped address of its loadable segments
    quint64 size = 0;           // bytes from base to the end of its last segment
};

// Calls `visit` for every loaded module in the loader's order (the program
// first) until it returns false; returns how many were visited. The names
// stay valid while the module is loaded. Takes the loader's lock, so it must
// not run inside a fault raised by the loader itself.
using ModuleVisitor = bool (*)(const ModuleInfo &module, void *user);
size_t moduleList(ModuleVisitor visit, void *user);

// Starts `name`, looked up in this program's folder and then in PATH, with `count` arguments (argv[0] is the
// name), with default signal actions and nothing blocked. Returns the child's
// process id, or -1 with Error::get() when it could not be started.
qint64 create(const char *name, const char *const *arguments, int count);

// Waits up to `timeoutMs` for child `process` to end and reaps it; false when
// it is still running after that.
bool waitFor(qint64 process, int timeoutMs);
} // namespace Binary
