#include "model/SCSI.h"

namespace Applications::DriveScope::Model {

SCSI::SCSI(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent)
    : Group(parent), m_node(node), m_path(path)
{
    // SCAFFOLD: rows land with this tab's own work.
}

SCSI::~SCSI() = default;

} // namespace Applications::DriveScope::Model
