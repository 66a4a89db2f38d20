#include "model/General.h"

namespace Applications::DriveScope::Model {

General::General(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent)
    : Group(parent), m_node(node), m_path(path)
{
    // SCAFFOLD: rows land with this tab's own work.
}

General::~General() = default;

} // namespace Applications::DriveScope::Model
