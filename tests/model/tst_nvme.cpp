// NVMe tab: controller-first, controller-only and node values, formats, and
// the hosted-mode placeholder. What each case shows is kept in
// tests/expected/model/nvme.txt.
#include <QtTest>

#include "TestSupport.h"
#include "model/NVMe.h"
#include "model/NodeUtils.h"

using namespace Applications::DriveScope;
using TestSupport::MemoryBackend;

class TestNVMe : public QObject {
    Q_OBJECT
private slots:
    void shown()
    {
        const QString path = QStringLiteral("/devices/nvme/nvme0n1");
        struct Case {
            const char *name;
            bool controller, hosted;
            PropertyValue eui;
        };
        // Hosted: the node lists SERIAL but not NVM_VER. The EUI keeps its eight
        // bytes as a number and its leading zero bytes as text.
        const QList<Case> cases = {
            {"controller", true, false, {Variant::ofInt(0x0ABC)}},
            {"no controller", false, false, {Variant::ofText("0011223344556677")}},
            {"no controller, hosted", false, true, {Variant::ofInt(0x0ABC)}},
        };
        QString out;
        for (const Case &c : cases) {
            MemoryBackend &backend = MemoryBackend::install();
            backend.isHosted = c.hosted;
            auto &node = backend.node(path).p0();
            node.set("TYPE", {Variant::ofText("NVMe")});
            node.set("MODEL", {Variant::ofText("NODE MODEL")});
            node.set("FIRMWARE", {Variant::ofText("NODEFW")});
            node.set("SERIAL", {});
            node.set("NVM_NSID", {Variant::ofInt(1)});
            node.set("NVM_NSZE", {Variant::ofText("1953525168")}); // the wrong kind
            node.set("NVM_NGUID", {Variant::ofText("2e4b1c07-55a1")});
            node.set("NVM_EUI", c.eui);
            if (c.controller) {
                auto &ctrl = backend.node(path).providers[1];
                ctrl.set("MODEL", {Variant::ofText("CTRL MODEL")});
                ctrl.set("FIRMWARE", {}); // empty: the node's
                ctrl.set("NVM_VER", {Variant::ofText("1.4")});
                ctrl.set("NVM_NAMESPACE_COUNT", {Variant::ofInt(32)});
            }
            Model::NVMe model(openGeneric(path, 0, false), path);
            out += QStringLiteral("=== %1\n").arg(QLatin1String(c.name)) + TestSupport::shownText(model);
        }
        // A vanished node still gives a model full of placeholders, and no health group without a log.
        MemoryBackend::install();
        Model::NVMe noNode(nullptr, path);
        out += QStringLiteral("=== no node\n") + TestSupport::shownText(noNode);
        COMPARE_GOLDEN("model/nvme.txt", out);
    }
};

QTEST_GUILESS_MAIN(TestNVMe)
#include "tst_nvme.moc"
