// The General tab: a grouped model filled once from the drive's node.
#pragma once
#include "model/Group.h"

namespace Applications::DriveScope::Model {

class General : public Group {
    Q_OBJECT
public:
    General(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent = nullptr);
    ~General() override;

private:
    Ref<Interfaces::Generic> m_node;
    QString m_path;
};

} // namespace Applications::DriveScope::Model
