#include "model/SDeMMC.h"

namespace Applications::DriveScope::Model {

SDeMMC::SDeMMC(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent)
    : Group(parent), m_node(node), m_path(path)
{
    // SCAFFOLD: rows land with this tab's own work.
}

SDeMMC::~SDeMMC() = default;

} // namespace Applications::DriveScope::Model
