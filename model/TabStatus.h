// What each tab shows besides its table: title, enabled state, status lines and
// verdict icon. GUI-free, so the window and the report tool say the same thing.
#pragma once
#include <QAbstractItemModel>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "model/AtaStatus.h"
#include "model/DriveData.h"
#include "model/SmartStatus.h"
#include "model/Verdict.h"

namespace Applications::DriveScope::Model {

// The tabs in the window's order.
enum class Tab { General, Partitions, Ata, Smart, USB, SCSI, NVMe, SDeMMC, PCI };
const QList<Tab> &allTabs();

QString tabTitle(Tab tab);        // translated
QString tabEnglishTitle(Tab tab); // "General", "S.M.A.R.T.", ... (report keys)
const char *tabPageName(Tab tab); // "tbGeneral", ...

// The tab's model in the record, null when it has none.
QAbstractItemModel *tabModel(const DriveData &data, Tab tab);

struct TabState {
    QStringList lines;              // status line(s), in the window's order
    std::optional<Verdict> verdict; // icon shown next to the last line, if any
};

// Status of one tab for a record (null: the empty record) in normal or hosted mode.
TabState tabState(const DriveData *data, Tab tab, bool hosted);

} // namespace Applications::DriveScope::Model
