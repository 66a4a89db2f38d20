// The USB tab: a grouped model filled once from the drive's node.
#pragma once
#include "model/Group.h"

namespace Applications::DriveScope::Model {

class USB : public Group {
    Q_OBJECT
public:
    USB(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent = nullptr);
    ~USB() override;

private:
    Ref<Interfaces::Generic> m_node;
    QString m_path;
};

} // namespace Applications::DriveScope::Model
