#include "model/Partitions.h"

namespace Applications::DriveScope::Model {

Partitions::Partitions(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent)
    : Group(parent), m_node(node), m_path(path)
{
    // SCAFFOLD: rows land with this tab's own work.
}

Partitions::~Partitions() = default;

} // namespace Applications::DriveScope::Model
