// The SCSI tab: a grouped model filled once from the drive's node.
#pragma once
#include "model/Group.h"

namespace Applications::DriveScope::Model {

class SCSI : public Group {
    Q_OBJECT
public:
    SCSI(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent = nullptr);
    ~SCSI() override;

private:
    Ref<Interfaces::Generic> m_node;
    QString m_path;
};

} // namespace Applications::DriveScope::Model
