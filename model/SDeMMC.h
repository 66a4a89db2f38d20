// The SDeMMC tab: a grouped model filled once from the drive's node.
#pragma once
#include "model/Group.h"

namespace Applications::DriveScope::Model {

class SDeMMC : public Group {
    Q_OBJECT
public:
    SDeMMC(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent = nullptr);
    ~SDeMMC() override;

private:
    Ref<Interfaces::Generic> m_node;
    QString m_path;
};

} // namespace Applications::DriveScope::Model
