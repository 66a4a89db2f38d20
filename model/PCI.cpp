#include "model/PCI.h"

namespace Applications::DriveScope::Model {

PCI::PCI(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent)
    : Group(parent), m_node(node), m_path(path)
{
    // SCAFFOLD: rows land with this tab's own work.
}

PCI::~PCI() = default;

} // namespace Applications::DriveScope::Model

namespace Applications::DriveScope::Model {
bool hasPciInformation(const Ref<Interfaces::Generic> &) { return false; }  // SCAFFOLD
} // namespace Applications::DriveScope::Model
