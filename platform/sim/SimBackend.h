// The simulator backend: a whole node tree read from one JSON file (see
// docs/node-tree in the README), reloaded when the file changes.
#pragma once
#include <QString>
#include <memory>

#include "platform/Nodes.h"

namespace Services::Nodes::Sim {
std::unique_ptr<Backend> createBackend(const QString &treeFile);
} // namespace Services::Nodes::Sim
