// The Partitions tab: a grouped model filled once from the drive's node.
#pragma once
#include "model/Group.h"

namespace Applications::DriveScope::Model {

class Partitions : public Group {
    Q_OBJECT
public:
    Partitions(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent = nullptr);
    ~Partitions() override;

private:
    Ref<Interfaces::Generic> m_node;
    QString m_path;
};

} // namespace Applications::DriveScope::Model
