// The General tab over hand-built nodes: row order, device-type names,
// removable, serial list, net disk and size rows. What each case shows, with
// the log lines it writes, is kept in tests/expected/model/general.txt.
#include <QtTest>

#include "TestSupport.h"
#include "model/General.h"
#include "model/NodeUtils.h"

using namespace Applications::DriveScope;
using namespace TestSupport;

namespace {

const QString kPath = QStringLiteral("/devices/disk0");

using Props = QList<QPair<QString, PropertyValue>>;

struct Case {
    const char *name;
    Props props;
    bool hosted = false;
    quint64 blockSize = 0, blockCount = 0;
    QStringList fail = {};
};

PropertyValue t(const char *text, const char *name = "")
{
    return {Variant::ofText(text, name)};
}
PropertyValue n(quint64 value, const char *name = "")
{
    return {Variant::ofInt(value, name)};
}

QList<Case> cases()
{
    const PropertyValue net{Variant::ofText("nas.example", "NAME"), Variant::ofInt(3260, "PORT")};
    return {
        {"full",
         {{"NAME", t("ACME SSD")},
          {"SERIAL", t("S123")},
          {"TYPE", t("SATA")},
          {"CONNECTION", t("SATA 6 Gb/s")},
          {"REMOVABLE", t("NO")},
          {"PART_TABLE_TYPE", t("GPT")},
          {"DISK_SIGNATURE", t("")}},
         false,
         512,
         1000},
        {"nothing", {}},
        {"nothing hosted", {}, true},
        {"ATAPI", {{"TYPE", t("ATAPI")}}},
        {"FC", {{"TYPE", t("FC")}}},
        {"FW", {{"TYPE", t("FW")}}},
        {"virtual file", {{"TYPE", t("VIRTUAL_FILE")}}},
        {"type outside the table", {{"TYPE", t("Weird Bus")}}},
        {"card with SD", {{"TYPE", t("CARD")}, {"CARD_TYPE", t("SD")}}},
        {"card with MMC", {{"TYPE", t("CARD")}, {"CARD_TYPE", t("MMC")}}},
        {"card alone", {{"TYPE", t("CARD")}}},
        {"card type ignored for others", {{"TYPE", t("USB")}, {"CARD_TYPE", t("SD")}}},
        {"integer type", {{"TYPE", n(7)}}},
        {"hosted prefers TYPE_HOST", {{"TYPE", t("SATA")}, {"TYPE_HOST", t("USB")}}, true},
        {"hosted without TYPE_HOST", {{"TYPE", t("NVME")}}, true},
        {"TYPE_HOST unused natively", {{"TYPE", t("IDE")}, {"TYPE_HOST", t("USB")}}},
        {"removable yes", {{"REMOVABLE", t("YES")}}},
        {"removable other text", {{"REMOVABLE", t("MAYBE")}}},
        {"removable integer", {{"REMOVABLE", n(1)}}},
        {"serials A B A", {{"SERIAL", {Variant::ofText("A"), Variant::ofText("B"), Variant::ofText("A")}}}},
        {"serials nested",
         {{"SERIAL",
           {Variant::ofList(
               {Variant::ofText("X"), Variant::ofText("Y"), Variant::ofText("X"), Variant::ofText("Z")})}}}},
        {"serials nested one", {{"SERIAL", {Variant::ofList({Variant::ofText("X")})}}}},
        {"serials integers", {{"SERIAL", {Variant::ofInt(12), Variant::ofInt(34)}}}},
        {"netdisk, platform missing", {{"NETDISK", net}}},
        {"netdisk without NAME", {{"NETDISK", n(3260, "PORT")}}},
        {"netdisk integer host", {{"NETDISK", n(42, "NAME")}}},
        {"netdisk linux", {{"NETDISK", net}, {"HOSTPLATFORM", t("LINUX", "HOSTSYSTEM")}}},
        {"netdisk windows", {{"NETDISK", net}, {"HOSTPLATFORM", t("WINDOWS", "HOSTSYSTEM")}}},
        {"netdisk other system", {{"NETDISK", net}, {"HOSTPLATFORM", t("BSD", "HOSTSYSTEM")}}},
        {"netdisk without HOSTSYSTEM", {{"NETDISK", net}, {"HOSTPLATFORM", t("x", "OTHER")}}},
        {"4096-byte blocks", {}, false, 4096, 1u << 20},
        {"storage fails", {}, false, 512, 8, {"storage"}},
        {"only the lock fails", {}, false, 512, 8, {"lockable"}},
        {"node fails to open", {}, false, 512, 8, {"provider"}},
        {"connection hosted", {{"CONNECTION", t("USB 3.0")}}, true},
        {"connection of the wrong kind", {{"CONNECTION", n(3)}}, true},
    };
}

} // namespace

class TestGeneral : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void shown()
    {
        QString out;
        for (const Case &c : cases()) {
            MemoryBackend &backend = MemoryBackend::install();
            backend.isHosted = c.hosted;
            MemoryNode &node = backend.node(kPath);
            for (const auto &p : c.props)
                node.p0().set(p.first, p.second);
            node.blockSize = c.blockSize;
            node.blockCount = c.blockCount;
            node.fail = c.fail;
            LogCapture log;
            Model::General model(openGeneric(kPath, 0, false), kPath);
            out += QStringLiteral("=== %1\n").arg(QLatin1String(c.name)) + shownText(model);
            for (const QString &line : log.messages())
                out += QStringLiteral("log: ") + line + QLatin1Char('\n');
        }
        COMPARE_GOLDEN("model/general.txt", out);
    }
};

QTEST_MAIN(TestGeneral)
#include "tst_general.moc"
