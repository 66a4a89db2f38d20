#include "model/NVMe.h"

namespace Applications::DriveScope::Model {

NVMe::NVMe(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent)
    : Group(parent), m_node(node), m_path(path)
{
    // SCAFFOLD: rows land with this tab's own work.
}

NVMe::~NVMe() = default;

} // namespace Applications::DriveScope::Model
