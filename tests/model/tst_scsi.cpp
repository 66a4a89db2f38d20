// SCSI tab: the source provider, its fallback to the node, and the VPD page
// list; what each case shows and logs is in tests/expected/model/scsi.txt.
#include <QtTest>

#include "TestSupport.h"
#include "model/NodeUtils.h"
#include "model/SCSI.h"

using namespace Applications::DriveScope;
using TestSupport::MemoryBackend;

namespace {
const QString Path = QStringLiteral("/devices/sas/sdb");

// The node has its own model, vendor and page; provider 1 another model and page.
void twoSources(MemoryBackend &backend, const PropertyValue &set)
{
    auto &node = backend.node(Path).p0();
    if (!set.isEmpty())
        node.set("NODE_SET_SCSI", set);
    node.set("SCSI_MODEL", {Variant::ofText("NODE")});
    node.set("SCSI_VENDOR", {Variant::ofText("NODEVENDOR")});
    node.setSet("GET_SCSI_VPDS", {Variant::ofBuffer("\0", "VPD_PAGE_0")});
    auto &provider = backend.node(Path).providers[1];
    provider.set("SCSI_MODEL", {Variant::ofText("PROVIDER")});
    provider.set("SCSI_VENDOR", {Variant::none()});
    provider.setSet("GET_SCSI_VPDS", {Variant::ofBuffer("\0", "VPD_PAGE_128")});
}

void pages(MemoryBackend &backend, const PropertyValue &result)
{
    backend.node(Path).p0().set("NODE_SET_SCSI", {Variant::ofInt(1)});
    if (!result.isEmpty())
        backend.node(Path).providers[1].setSet("GET_SCSI_VPDS", result);
    else
        backend.node(Path).providers[1];
}

Variant page(const char *name = "")
{
    return Variant::ofBuffer(QByteArray("\x00\x83\x00\x00", 4), name);
}

const QList<QPair<const char *, std::function<void(MemoryBackend &)>>> Cases{
    {"provider 1", [](MemoryBackend &b) { twoSources(b, {Variant::ofInt(1)}); }},
    {"provider 2 cannot open", [](MemoryBackend &b) { twoSources(b, {Variant::ofInt(2)}); }},
    {"index beyond int does not wrap to the node's own provider",
     [](MemoryBackend &b) { twoSources(b, {Variant::ofInt(0x100000001ull)}); }},
    {"no set property", [](MemoryBackend &b) { twoSources(b, {}); }},
    {"three pages in result order",
     [](MemoryBackend &b) {
         pages(b, {page("VPD_PAGE_0"), page("VPD_PAGE_128"), page("VPD_PAGE_131")});
     }},
    {"hexadecimal names, no sorting",
     [](MemoryBackend &b) {
         pages(b, {page("VPD_PAGE_0xb0"), page("VPD_PAGE_0x0F")});
     }},
    {"duplicates kept",
     [](MemoryBackend &b) {
         pages(b, {page("VPD_PAGE_0x83"), page("VPD_PAGE_131")});
     }},
    {"unusable elements skipped",
     [](MemoryBackend &b) {
         pages(b, {page("VPD_PAGE_"), Variant::ofText("x", "VPD_PAGE_5"), page("VPD_PAGE_7x"), page("vpd_page_1"),
                   page(), page("VPD_PAGE_-1"), page("VPD_PAGE_2")});
     }},
    {"none usable", [](MemoryBackend &b) { pages(b, {Variant::ofInt(0, "VPD_PAGE_0")}); }},
    {"no answer", [](MemoryBackend &b) { pages(b, {}); }},
};
} // namespace

class TestSCSI : public QObject {
    Q_OBJECT
private slots:
    void shown()
    {
        QString out;
        for (const auto &[name, setUp] : Cases) {
            setUp(MemoryBackend::install());
            TestSupport::LogCapture log;
            Model::SCSI model(openGeneric(Path, 0, false), Path);
            out += QStringLiteral("=== %1\n").arg(QLatin1String(name)) + TestSupport::shownText(model);
            for (const QString &line : log.messages())
                out += QStringLiteral("log: ") + line + QLatin1Char('\n');
        }
        COMPARE_GOLDEN("model/scsi.txt", out);
    }
};

QTEST_GUILESS_MAIN(TestSCSI)
#include "tst_scsi.moc"
