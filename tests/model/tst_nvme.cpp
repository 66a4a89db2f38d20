// NVMe tab: controller-first, controller-only and node values, formats, and
// the hosted-mode placeholder.
#include <QtTest>

#include "ModelRows.h"
#include "model/NodeUtils.h"
#include "TestSupport.h"
#include "model/NVMe.h"

using namespace Applications::DriveScope;
using TestSupport::MemoryBackend;

namespace {
const QString Path = QStringLiteral("/devices/nvme/nvme0n1");
const QString Ctrl = QStringLiteral("CONTROLLER INFORMATION");
const QString Ns = QStringLiteral("NAMESPACE INFORMATION");
} // namespace

class TestNVMe : public QObject {
    Q_OBJECT
private slots:
    void rows_data();
    void rows();
    void layout();
};

void TestNVMe::rows_data()
{
    QTest::addColumn<bool>("controller");
    QTest::addColumn<bool>("hosted");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("dimmed");

    QTest::newRow("model from controller over node") << true << false << Ctrl << "MODEL"
                                                     << "CTRL MODEL" << false;
    QTest::newRow("empty controller firmware falls back to node") << true << false << Ctrl << "FIRMWARE"
                                                                  << "NODEFW" << false;
    QTest::newRow("no controller: serial missing") << false << false << Ctrl << "SERIAL"
                                                   << "<NA>" << true;
    // Hosted: the node lists SERIAL but not NVM_VER.
    QTest::newRow("hosted, node has the property") << false << true << Ctrl << "SERIAL"
                                                   << "<NA>" << true;
    QTest::newRow("hosted, node lacks the property") << false << true << Ctrl << "VERSION"
                                                     << "<NOT AVAILABLE ON THIS PLATFORM>" << true;
    QTest::newRow("eui number keeps its eight bytes") << true << false << Ns << "EUI"
                                                      << "0000000000000ABC" << false;
    QTest::newRow("eui text keeps leading zero bytes") << true << false << Ns << "EUI"
                                                       << "0011223344556677" << false;
    QTest::newRow("size of the wrong kind") << true << false << Ns << "SIZE"
                                            << "<INVALID>" << true;
}

void TestNVMe::rows()
{
    QFETCH(bool, controller);
    QFETCH(bool, hosted);
    QFETCH(QString, group);
    QFETCH(QString, label);
    QFETCH(QString, value);
    QFETCH(bool, dimmed);

    MemoryBackend &backend = MemoryBackend::install();
    backend.isHosted = hosted;
    auto &node = backend.node(Path).p0();
    node.set("TYPE", {Variant::ofText("NVMe")});
    node.set("MODEL", {Variant::ofText("NODE MODEL")});
    node.set("FIRMWARE", {Variant::ofText("NODEFW")});
    node.set("SERIAL", {});
    node.set("NVM_NSID", {Variant::ofInt(1)});
    node.set("NVM_NSZE", {Variant::ofText("1953525168")});
    node.set("NVM_NGUID", {Variant::ofText("2e4b1c07-55a1")});
    node.set("NVM_EUI", {Variant::ofInt(0x0ABC)});
    if (QTest::currentDataTag() == QLatin1String("eui text keeps leading zero bytes"))
        node.set("NVM_EUI", {Variant::ofText("0011223344556677")});
    if (controller) {
        auto &ctrl = backend.node(Path).providers[1];
        ctrl.set("MODEL", {Variant::ofText("CTRL MODEL")});
        ctrl.set("FIRMWARE", {});
        ctrl.set("NVM_VER", {Variant::ofText("1.4")});
        ctrl.set("NVM_NAMESPACE_COUNT", {Variant::ofInt(32)});
    }

    Model::NVMe model(openGeneric(Path, 0, false), Path);
    const ShownRow row = shownRow(shownGroups(model), group, label);
    QCOMPARE(row.value, value);
    QCOMPARE(row.dimmed, dimmed);
}

void TestNVMe::layout()
{
    MemoryBackend::install().node(Path);
    Model::NVMe model(openGeneric(Path, 0, false), Path);
    QCOMPARE(shownTitles(shownGroups(model)), QStringList({Ctrl, Ns})); // no health group without a log

    Model::NVMe noNode(nullptr, Path); // a vanished node still gives a model full of placeholders
    QCOMPARE(shownRow(shownGroups(noNode), Ns, "ID").value, QStringLiteral("<NA>"));
}

QTEST_GUILESS_MAIN(TestNVMe)
#include "tst_nvme.moc"
