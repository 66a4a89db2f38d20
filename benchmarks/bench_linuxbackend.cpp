// The Linux backend over sysfs: listing the drives, and every property and
// set of every drive (what one refresh of all drives costs), on the synthetic
// machine and on this machine.
#include <QtTest>

#include "platform/linux/LinuxBackend.h"

using namespace Services::Nodes;

namespace {
int readEverything(Backend &backend)
{
    int values = 0;
    for (const DriveEntry &e : backend.drives()) {
        const auto node = backend.open(e.path);
        for (int index : {0, 1}) {
            const auto provider = node ? backend.provider(node, index) : nullptr;
            const auto generic = provider ? backend.generic(provider) : nullptr;
            if (!generic)
                continue;
            for (int i = 0; i < generic->propertyCount(); ++i)
                values += int(generic->read(generic->propertyName(i)).size());
            for (int i = 0; i < generic->propertySetCount(); ++i)
                values += int(generic->request({Variant::ofInt(1, generic->propertySetName(i))}).size());
        }
    }
    return values;
}
} // namespace

class BenchLinuxBackend : public QObject {
    Q_OBJECT
private slots:
    void driveList_data()
    {
        QTest::addColumn<QString>("root");
        QTest::newRow("synthetic") << QStringLiteral(SOURCE_DIR "/tests/data/sysfs/synthetic/sys");
        QTest::newRow("this machine") << QStringLiteral("/sys");
    }
    void driveList()
    {
        QFETCH(QString, root);
        auto backend = Linux::createBackend(root, QStringLiteral("/nonexistent"));
        QBENCHMARK
        {
            QVERIFY(!backend->drives().isEmpty());
        }
    }

    void everyProperty_data() { driveList_data(); }
    void everyProperty()
    {
        QFETCH(QString, root);
        auto backend = Linux::createBackend(root, QStringLiteral("/nonexistent"));
        QBENCHMARK
        {
            QVERIFY(readEverything(*backend) > 0);
        }
    }
};

QTEST_GUILESS_MAIN(BenchLinuxBackend)
#include "bench_linuxbackend.moc"
