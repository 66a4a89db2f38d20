#include "model/USB.h"

namespace Applications::DriveScope::Model {

USB::USB(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent)
    : Group(parent), m_node(node), m_path(path)
{
    // SCAFFOLD: rows land with this tab's own work.
}

USB::~USB() = default;

} // namespace Applications::DriveScope::Model
