#include "model/TabStatus.h"

#include "model/Ata.h"
#include "model/General.h"
#include "model/NVMe.h"
#include "model/PCI.h"
#include "model/Partitions.h"
#include "model/SCSI.h"
#include "model/SDeMMC.h"
#include "model/Smart.h"
#include "model/USB.h"
#include "platform/I18n.h"

namespace Applications::DriveScope::Model {

namespace {

struct TabInfo {
    Tab tab;
    const char *key;
    const char *title;
    const char *page;
    quint32 interfaceBit; // 0: the hosted wording never applies
};

// Window order.
const TabInfo tabInfos[] = {
    {Tab::General, "main.tab.gen", "General", "tbGeneral", 0},
    {Tab::Partitions, "main.tab.part", "Partitions", "tbPart", 0},
    {Tab::Ata, "main.tab.ata", "ATA", "tbAta", 0},
    {Tab::Smart, "main.tab.smart", "S.M.A.R.T.", "tbSmart", 0},
    {Tab::USB, "main.tab.usb", "USB", "tbUSB", DriveData::Usb},
    {Tab::SCSI, "main.tab.scsi", "SCSI", "tbSCSI", 0},
    {Tab::NVMe, "main.tab.nvme", "NVMe", "tbNVMe", DriveData::Nvme},
    {Tab::SDeMMC, "main.tab.sdemmc", "SD/eMMC", "tbSDeMMC", DriveData::Card},
    {Tab::PCI, "main.tab.pci", "PCI", "tbPCI", 0},
};

const TabInfo &info(Tab tab)
{
    for (const TabInfo &i : tabInfos)
        if (i.tab == tab)
            return i;
    return tabInfos[0];
}

QString notAvailable()
{
    return trKey("main.state.notavail.type", "DEVICE DATA NOT AVAILABLE");
}

// The one status line of an interface tab.
QString interfaceLine(const QAbstractItemModel *model, bool hosted, quint32 interfaces, Tab tab)
{
    if (model)
        return trKey("main.state.avail", "DEVICE DATA AVAILABLE");
    if (hosted && info(tab).interfaceBit && (interfaces & info(tab).interfaceBit))
        return trKey("main.state.notavail.native", "DEVICE DATA NOT AVAILABLE, USE /S INSTEAD");
    return notAvailable();
}

} // namespace

const QList<Tab> &allTabs()
{
    static const QList<Tab> tabs = [] {
        QList<Tab> list;
        for (const TabInfo &i : tabInfos)
            list << i.tab;
        return list;
    }();
    return tabs;
}

QString tabTitle(Tab tab)
{
    return trKey(info(tab).key, info(tab).title);
}
QString tabEnglishTitle(Tab tab)
{
    return QString::fromLatin1(info(tab).title);
}
const char *tabPageName(Tab tab)
{
    return info(tab).page;
}

QAbstractItemModel *tabModel(const DriveData &data, Tab tab)
{
    switch (tab) {
    case Tab::General:
        return data.general.get();
    case Tab::Partitions:
        return data.partitions.get();
    case Tab::Ata:
        return data.ata.get();
    case Tab::Smart:
        return data.smart.get();
    case Tab::USB:
        return data.usb.get();
    case Tab::SCSI:
        return data.scsi.get();
    case Tab::NVMe:
        return data.nvme.get();
    case Tab::SDeMMC:
        return data.sdemmc.get();
    case Tab::PCI:
        return data.pci.get();
    }
    return nullptr;
}

TabState tabState(const DriveData *data, Tab tab, bool hosted)
{
    TabState state;
    if (data && data->pending && tab != Tab::General) {
        state.lines << trKey("main.state.reading", "READING DEVICE DATA...");
        return state;
    }
    QAbstractItemModel *model = data ? tabModel(*data, tab) : nullptr;
    const quint32 interfaces = data ? data->interfaces : 0;
    switch (tab) {
    case Tab::General:
        break;
    case Tab::Partitions:
        state.lines << (model ? trKey("main.part.safedisk.off", "SAFE DISK NOT ENABLED")
                              : trKey("main.part.safedisk.on", "SAFE DISK ENABLED"));
        break;
    case Tab::Ata: {
        const QString pattern = trKey("main.ata.std", "ATA Standard: %1");
        if (data && data->ata) {
            state.lines << pattern.arg(data->ata->standardText());
            const ChecksumVerdict v = checksumVerdict(data->ata->identify());
            state.lines << v.text;
            state.verdict = v.verdict;
        } else {
            state.lines << pattern.arg(trKey("ata.id.gen.na", "n/a")) << notAvailable();
        }
        break;
    }
    case Tab::Smart: {
        const HealthVerdict health = smartHealth(data ? data->smart.get() : nullptr);
        state.lines << health.text;
        state.verdict = health.verdict;
        break;
    }
    case Tab::NVMe:
        // The interfaces' wording first, then the health log's verdict.
        state.lines << interfaceLine(model, hosted, interfaces, tab);
        if (model) {
            const HealthVerdict health = nvmeHealthVerdict(data->nvmeHealth);
            state.lines << health.text;
            state.verdict = health.verdict;
        }
        break;
    default:
        state.lines << interfaceLine(model, hosted, interfaces, tab);
        break;
    }
    return state;
}

} // namespace Applications::DriveScope::Model
