// The real machine: drives from sysfs, raw reads through read-only commands.
#pragma once
#include <memory>

#include "platform/Nodes.h"

namespace Services::Nodes::Linux {
std::unique_ptr<Backend> createBackend();
} // namespace Services::Nodes::Linux
