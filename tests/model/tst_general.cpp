// The General tab: row order, device-type names, removable, serial list,
// net disk and size rows, over hand-built nodes.
#include <QAbstractItemModelTester>
#include <QtTest>

#include "model/Roles.h"
#include "model/NodeUtils.h"
#include "TestSupport.h"
#include "model/General.h"
#include "platform/StringUtil.h"

using namespace Applications::DriveScope;
using namespace TestSupport;

namespace {

const QString kPath = QStringLiteral("/devices/disk0");

using Props = QList<QPair<QString, PropertyValue>>;

// Group title -> "LABEL=VALUE" rows, a dimmed value marked with "~".
QMap<QString, QStringList> rows(const QAbstractItemModel &m)
{
    QMap<QString, QStringList> out;
    for (int g = 0; g < m.rowCount(); ++g) {
        const QModelIndex title = m.index(g, 0);
        QStringList &list = out[m.data(title).toString()];
        for (int e = 0; e < m.rowCount(title); ++e) {
            const QModelIndex value = m.index(e, 1, title);
            const bool dim = m.data(value, Model::Roles::Dimmed).toBool();
            list << m.data(m.index(e, 0, title)).toString() + "=" + (dim ? "~" : "") + m.data(value).toString();
        }
    }
    return out;
}

QString row(const QMap<QString, QStringList> &shown, const QString &group, const QString &label)
{
    for (const QString &r : shown.value(group))
        if (r.startsWith(label + "="))
            return r.mid(label.size() + 1);
    return "(no row)";
}

struct Built {
    QMap<QString, QStringList> shown;
    QString log;
};

Built build(const Props &props, bool hosted = false, quint64 blockSize = 0, quint64 blockCount = 0,
            const QStringList &fail = {})
{
    MemoryBackend &backend = MemoryBackend::install();
    backend.isHosted = hosted;
    MemoryNode &node = backend.node(kPath);
    for (const auto &p : props)
        node.p0().set(p.first, p.second);
    node.blockSize = blockSize;
    node.blockCount = blockCount;
    node.fail = fail;
    LogCapture log;
    Model::General model(openGeneric(kPath, 0, false), kPath);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    return {rows(model), log.text()};
}

const char *kInfo = "DEVICE INFORMATION";

} // namespace

class TestGeneral : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rowOrder();
    void deviceType_data();
    void deviceType();
    void removable_data();
    void removable();
    void serials_data();
    void serials();
    void netdisk_data();
    void netdisk();
    void sizeRows_data();
    void sizeRows();
    void connection_data();
    void connection();
};

void TestGeneral::rowOrder()
{
    const Built b = build({{"NAME", {Variant::ofText("ACME SSD")}},
                           {"SERIAL", {Variant::ofText("S123")}},
                           {"TYPE", {Variant::ofText("SATA")}},
                           {"CONNECTION", {Variant::ofText("SATA 6 Gb/s")}},
                           {"REMOVABLE", {Variant::ofText("NO")}},
                           {"PART_TABLE_TYPE", {Variant::ofText("GPT")}},
                           {"DISK_SIGNATURE", {Variant::ofText("")}}},
                          false, 512, 1000);
    const QString size =
        StringUtil::formatSizesSmart(512000, true) + "B / " + StringUtil::formatSizesSmart(512000, false) + "iB";
    QCOMPARE(b.shown.keys(), QStringList{kInfo});
    QCOMPARE(b.shown.value(kInfo), (QStringList{"NAME=ACME SSD", "SERIAL=S123", "SIZE=" + size, "BLOCKS=1000",
                                                "BLOCKSIZE=512", "TYPE=AHCI", "CONNECTION=SATA 6 Gb/s", "REMOVABLE=NO",
                                                "PARTITION TABLE TYPE=GPT", "DISK SIGNATURE=~<EMPTY VALUE>"}));
}

void TestGeneral::deviceType_data()
{
    QTest::addColumn<Props>("props");
    QTest::addColumn<bool>("hosted");
    QTest::addColumn<QString>("shown");

    auto t = [](const char *v) { return PropertyValue{Variant::ofText(v)}; };
    QTest::newRow("no type at all") << Props{} << false << "UNKNOWN";
    QTest::newRow("SATA is AHCI") << Props{{"TYPE", t("SATA")}} << false << "AHCI";
    QTest::newRow("ATAPI is optical") << Props{{"TYPE", t("ATAPI")}} << false << "OPTICAL";
    QTest::newRow("FC") << Props{{"TYPE", t("FC")}} << false << "FIBRECHANNEL";
    QTest::newRow("FW") << Props{{"TYPE", t("FW")}} << false << "FIREWIRE";
    QTest::newRow("virtual file") << Props{{"TYPE", t("VIRTUAL_FILE")}} << false << "VIRTUAL";
    QTest::newRow("outside the table") << Props{{"TYPE", t("Weird Bus")}} << false << "Weird Bus";
    QTest::newRow("card with SD") << Props{{"TYPE", t("CARD")}, {"CARD_TYPE", t("SD")}} << false << "SD";
    QTest::newRow("card with MMC") << Props{{"TYPE", t("CARD")}, {"CARD_TYPE", t("MMC")}} << false << "MMC";
    QTest::newRow("card alone") << Props{{"TYPE", t("CARD")}} << false << "CARD";
    QTest::newRow("card type ignored for others")
        << Props{{"TYPE", t("USB")}, {"CARD_TYPE", t("SD")}} << false << "USB";
    QTest::newRow("integer type") << Props{{"TYPE", {Variant::ofInt(7)}}} << false << "7";
    QTest::newRow("hosted prefers TYPE_HOST") << Props{{"TYPE", t("SATA")}, {"TYPE_HOST", t("USB")}} << true << "USB";
    QTest::newRow("hosted without TYPE_HOST") << Props{{"TYPE", t("NVME")}} << true << "NVME";
    QTest::newRow("TYPE_HOST unused natively") << Props{{"TYPE", t("IDE")}, {"TYPE_HOST", t("USB")}} << false << "IDE";
}

void TestGeneral::deviceType()
{
    QFETCH(Props, props);
    QFETCH(bool, hosted);
    QFETCH(QString, shown);
    QCOMPARE(row(build(props, hosted).shown, kInfo, "TYPE"), shown);
}

void TestGeneral::removable_data()
{
    QTest::addColumn<PropertyValue>("value");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("logged");

    QTest::newRow("yes") << PropertyValue{Variant::ofText("YES")} << "YES" << false;
    QTest::newRow("no") << PropertyValue{Variant::ofText("NO")} << "NO" << false;
    QTest::newRow("missing") << PropertyValue{} << "NO" << false;
    QTest::newRow("other text") << PropertyValue{Variant::ofText("MAYBE")} << "NO" << true;
    QTest::newRow("integer") << PropertyValue{Variant::ofInt(1)} << "NO" << true;
}

void TestGeneral::removable()
{
    QFETCH(PropertyValue, value);
    QFETCH(QString, shown);
    QFETCH(bool, logged);
    const Built b = build({{"REMOVABLE", value}});
    QCOMPARE(row(b.shown, kInfo, "REMOVABLE"), shown);
    QCOMPARE(b.log.contains("Unsupported value for REMOVABLE: "), logged);
}

void TestGeneral::serials_data()
{
    QTest::addColumn<PropertyValue>("serial");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QStringList>("list"); // empty: no SERIAL INFORMATION group

    auto t = [](const char *v) { return Variant::ofText(v); };
    QTest::newRow("one text") << PropertyValue{t("A")} << "A" << QStringList();
    QTest::newRow("missing") << PropertyValue{} << "~<NA>" << QStringList();
    QTest::newRow("A B A") << PropertyValue{t("A"), t("B"), t("A")} << "A" << QStringList{"#1=A", "#2=B"};
    QTest::newRow("nested list") << PropertyValue{Variant::ofList({t("X"), t("Y"), t("X"), t("Z")})} << "X"
                                 << QStringList{"#1=X", "#2=Y", "#3=Z"};
    QTest::newRow("nested list of one") << PropertyValue{Variant::ofList({t("X")})} << "X" << QStringList();
    QTest::newRow("integer serials") << PropertyValue{Variant::ofInt(12), Variant::ofInt(34)} << "~<INVALID>"
                                     << QStringList{"#1=12", "#2=34"};
}

void TestGeneral::serials()
{
    QFETCH(PropertyValue, serial);
    QFETCH(QString, first);
    QFETCH(QStringList, list);
    const Built b = build({{"SERIAL", serial}});
    QCOMPARE(row(b.shown, kInfo, "SERIAL"), first);
    QCOMPARE(b.shown.contains("SERIAL INFORMATION"), !list.isEmpty());
    if (!list.isEmpty())
        QCOMPARE(b.shown.value("SERIAL INFORMATION"), list);
}

void TestGeneral::netdisk_data()
{
    QTest::addColumn<Props>("props");
    QTest::addColumn<QStringList>("rows"); // empty: no NETDISK INFORMATION group

    const PropertyValue net{Variant::ofText("nas.example", "NAME"), Variant::ofInt(3260, "PORT")};
    QTest::newRow("no netdisk") << Props{} << QStringList();
    QTest::newRow("host, platform missing")
        << Props{{"NETDISK", net}} << QStringList{"HOST=nas.example", "PLATFORM=Novaris"};
    QTest::newRow("no NAME element") << Props{{"NETDISK", {Variant::ofInt(3260, "PORT")}}}
                                     << QStringList{"HOST=~<NA>", "PLATFORM=Novaris"};
    QTest::newRow("integer host") << Props{{"NETDISK", {Variant::ofInt(42, "NAME")}}}
                                  << QStringList{"HOST=42", "PLATFORM=Novaris"};
    QTest::newRow("linux") << Props{{"NETDISK", net}, {"HOSTPLATFORM", {Variant::ofText("LINUX", "HOSTSYSTEM")}}}
                           << QStringList{"HOST=nas.example", "PLATFORM=Linux"};
    QTest::newRow("windows") << Props{{"NETDISK", net}, {"HOSTPLATFORM", {Variant::ofText("WINDOWS", "HOSTSYSTEM")}}}
                             << QStringList{"HOST=nas.example", "PLATFORM=Windows"};
    QTest::newRow("other system") << Props{{"NETDISK", net}, {"HOSTPLATFORM", {Variant::ofText("BSD", "HOSTSYSTEM")}}}
                                  << QStringList{"HOST=nas.example", "PLATFORM=BSD"};
    QTest::newRow("no HOSTSYSTEM") << Props{{"NETDISK", net}, {"HOSTPLATFORM", {Variant::ofText("x", "OTHER")}}}
                                   << QStringList{"HOST=nas.example", "PLATFORM=Novaris"};
}

void TestGeneral::netdisk()
{
    QFETCH(Props, props);
    QFETCH(QStringList, rows);
    const Built b = build(props);
    QCOMPARE(b.shown.contains("NETDISK INFORMATION"), !rows.isEmpty());
    if (!rows.isEmpty())
        QCOMPARE(b.shown.value("NETDISK INFORMATION"), rows);
}

void TestGeneral::sizeRows_data()
{
    QTest::addColumn<quint64>("blockSize");
    QTest::addColumn<quint64>("blockCount");
    QTest::addColumn<QStringList>("fail");
    QTest::addColumn<bool>("shown");

    QTest::newRow("512-byte blocks") << quint64(512) << quint64(976773168) << QStringList() << true;
    QTest::newRow("4096-byte blocks") << quint64(4096) << quint64(1u << 20) << QStringList() << true;
    QTest::newRow("no block device") << quint64(0) << quint64(0) << QStringList() << false;
    QTest::newRow("storage fails") << quint64(512) << quint64(8) << QStringList{"storage"} << false;
    QTest::newRow("only the lock fails") << quint64(512) << quint64(8) << QStringList{"lockable"} << true;
    QTest::newRow("node fails to open") << quint64(512) << quint64(8) << QStringList{"provider"} << false;
}

void TestGeneral::sizeRows()
{
    QFETCH(quint64, blockSize);
    QFETCH(quint64, blockCount);
    QFETCH(QStringList, fail);
    QFETCH(bool, shown);
    const Built b = build({{"NAME", {Variant::ofText("d")}}}, false, blockSize, blockCount, fail);
    const quint64 size = blockSize * blockCount;
    if (shown) {
        QCOMPARE(row(b.shown, kInfo, "SIZE"),
                 StringUtil::formatSizesSmart(size, true) + "B / " + StringUtil::formatSizesSmart(size, false) + "iB");
        QCOMPARE(row(b.shown, kInfo, "BLOCKS"), QString::number(blockCount));
        QCOMPARE(row(b.shown, kInfo, "BLOCKSIZE"), QString::number(blockSize));
    } else {
        for (const char *label : {"SIZE", "BLOCKS", "BLOCKSIZE"})
            QCOMPARE(row(b.shown, kInfo, label), QString("~<NA>"));
    }
    QCOMPARE(b.shown.value(kInfo).size(), 10);
}

void TestGeneral::connection_data()
{
    QTest::addColumn<PropertyValue>("value");
    QTest::addColumn<bool>("hosted");
    QTest::addColumn<QString>("shown");

    QTest::newRow("present") << PropertyValue{Variant::ofText("USB 3.0")} << false << "USB 3.0";
    QTest::newRow("present hosted") << PropertyValue{Variant::ofText("USB 3.0")} << true << "USB 3.0";
    QTest::newRow("missing") << PropertyValue{} << false << "~<NA>";
    QTest::newRow("missing hosted") << PropertyValue{} << true << "~<NOT AVAILABLE ON THIS PLATFORM>";
    QTest::newRow("wrong kind") << PropertyValue{Variant::ofInt(3)} << true << "~<INVALID>";
}

void TestGeneral::connection()
{
    QFETCH(PropertyValue, value);
    QFETCH(bool, hosted);
    QFETCH(QString, shown);
    Props props;
    if (!value.isEmpty())
        props.append({"CONNECTION", value});
    QCOMPARE(row(build(props, hosted).shown, kInfo, "CONNECTION"), shown);
}

QTEST_MAIN(TestGeneral)
#include "tst_general.moc"
