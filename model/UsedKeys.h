// The null-framed list of translation keys in use: a null entry, the keys, a null entry.
#pragma once

namespace Applications::DriveScope {
extern const char *const usedKeys[];
} // namespace Applications::DriveScope
