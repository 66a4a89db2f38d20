// The Partitions tab: a grouped model filled once from the drive's node.
#pragma once
#include "model/Group.h"
#include "model/PartitionLayout.h"

namespace Applications::DriveScope::Model {

class Partitions : public Group {
    Q_OBJECT
public:
    Partitions(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent = nullptr);
    ~Partitions() override;

    // The disk as the map and the reports draw it; no segments when there is no table.
    const PartitionLayout &layout() const { return m_layout; }

private:
    Ref<Interfaces::Generic> m_node;
    QString m_path;
    PartitionLayout m_layout;
};

} // namespace Applications::DriveScope::Model
