// The compiled-in resources (icons, help page, translation catalogues) live in
// the core library; a static library's resource initialiser is only linked in
// when something calls it.
#pragma once

namespace Applications::DriveScope {
// Registers the resources; later calls do nothing.
void initResources();
} // namespace Applications::DriveScope
