// The NVMe tab: a grouped model filled once from the drive's node.
#pragma once
#include "model/Group.h"
#include "model/NvmeHealth.h"

#include <optional>

namespace Applications::DriveScope::Model {

class NVMe : public Group {
    Q_OBJECT
public:
    // `health`: the decoded health log; without it the HEALTH INFORMATION group is left out.
    NVMe(const Ref<Interfaces::Generic> &node, const QString &path,
         const std::optional<NvmeHealth> &health = std::nullopt, QObject *parent = nullptr);
    ~NVMe() override;

private:
    void addHealth(const NvmeHealth &health);

    Ref<Interfaces::Generic> m_node;
    QString m_path;
};

} // namespace Applications::DriveScope::Model
