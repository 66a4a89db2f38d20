// PCI tab: address texts, the PCI information test, and the search for the
// controller's PCI node with its fallbacks.
#include <QtTest>

#include "TestSupport.h"
#include "model/NodeUtils.h"
#include "model/PCI.h"
#include "platform/Error.h"
#include "platform/Pci.h"
#include "platform/sim/SimBackend.h"

using namespace Applications::DriveScope;
using Services::PCI::Definitions::Address;

namespace {
const QString Path = QStringLiteral("/devices/sas/sdb");
} // namespace

class TestPCI : public QObject {
    Q_OBJECT
private slots:
    // Each text as read (an unread text leaves the address as it was: 9s), written
    // back, and the node named after it, in tests/expected/model/pci-addresses.txt.
    void addresses()
    {
        namespace Utils = Services::PCI::Library::Utils;
        QString out;
        for (const char *text : {"0000:3d:00.0", " 0001:3B:1C.5\n", "10000:e1:1f.7", "02:00.1", "0000:00:20.0",
                                 "0000:00:00.8", "000g:00:00.0", ""}) {
            Address a{9, 9, 9, 9};
            const bool ok = Utils::strToAddr(QString::fromLatin1(text), a);
            out += QStringLiteral("\"%1\": %2 segment %3 bus %4 device %5 function %6 -> %7, %8\n")
                       .arg(QString::fromLatin1(text).replace('\n', "\\n"), QLatin1String(ok ? "read" : "refused"))
                       .arg(a.segment, 0, 16)
                       .arg(a.bus, 0, 16)
                       .arg(a.device, 0, 16)
                       .arg(a.function)
                       .arg(Utils::addrToStr(a), Utils::nodeForAddr(a));
        }
        COMPARE_GOLDEN("model/pci-addresses.txt", out);
    }

    void hasPciInformationOfNothing()
    {
        Error::set(0);
        QVERIFY(!Model::hasPciInformation(nullptr));
        QCOMPARE(Error::get(), 0x8445u);
    }

    // Whether a drive has PCI information, and what the tab shows and logs for
    // each way of finding the controller's node (the trees of tests/data/model/pci/,
    // each naming its case), are kept in tests/expected/model/pci.txt.
    void model()
    {
        const QDir dir(QStringLiteral(TESTS_DIR "/data/model/pci"));
        QString out;
        for (const QString &file : dir.entryList({"*.json"}, QDir::Files, QDir::Name)) {
            QFile f(dir.filePath(file));
            QVERIFY(f.open(QIODevice::ReadOnly));
            Services::Nodes::Backend::install(Services::Nodes::Sim::createBackend(f.fileName()));
            TestSupport::LogCapture log;
            Model::PCI pci(openGeneric(Path, 0, false), Path);
            out += QStringLiteral("=== %1\nhas PCI information: %2\n")
                       .arg(QJsonDocument::fromJson(f.readAll())["case"].toString())
                       .arg(Model::hasPciInformation(openGeneric(Path, 0, false))) +
                   TestSupport::shownText(pci);
            for (const QString &line : log.messages())
                out += QStringLiteral("log: ") + line + QLatin1Char('\n');
        }
        COMPARE_GOLDEN("model/pci.txt", out);
    }
};

QTEST_GUILESS_MAIN(TestPCI)
#include "tst_pci.moc"
