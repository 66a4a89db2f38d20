// The PCI tab: a grouped model filled once from the drive's node.
#pragma once
#include "model/Group.h"

namespace Applications::DriveScope::Model {

class PCI : public Group {
    Q_OBJECT
public:
    PCI(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent = nullptr);
    ~PCI() override;

private:
    Ref<Interfaces::Generic> m_node;
    QString m_path;
};

} // namespace Applications::DriveScope::Model

namespace Applications::DriveScope::Model {
// True when the node carries what the PCI tab needs to find the controller.
bool hasPciInformation(const Ref<Interfaces::Generic> &node);
} // namespace Applications::DriveScope::Model
