// Snapshots of a machine as node-tree files: complete, redacted consistently,
// images placed and redacted with valid GPT checksums, and read back by the
// simulator as the same drives.
#include <QtTest>

#include "TestSupport.h"
#include "model/ata/Identify.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/sim/SimBackend.h"
#include "report/Snapshot.h"

#include <unistd.h>

using namespace Services::Nodes;

namespace {
const QString synthetic = QStringLiteral(TESTS_DIR "/data/sysfs/synthetic/sys");

QJsonObject load(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

QString text(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The first element of a property in a node of the file.
QJsonObject first(const QJsonObject &root, const QString &node, const QString &property, const QString &provider = {})
{
    QJsonObject n = root["nodes"].toObject()[node].toObject();
    if (!provider.isEmpty())
        n = n["providers"].toObject()[provider].toObject();
    return n["properties"].toObject()[property].toArray().first().toObject();
}

QByteArray setBuffer(const QJsonObject &root, const QString &node, const QString &set, const QString &element)
{
    for (const QJsonValue &v : root["nodes"].toObject()[node].toObject()["sets"].toObject()[set].toArray()) {
        if (v.toObject()["name"].toString() == element)
            return QByteArray::fromHex(v.toObject()["buffer"].toString().toLatin1());
    }
    return QByteArray();
}

} // namespace

class TestSnapshot : public QObject {
    Q_OBJECT
private slots:
    // Output goes only where the user pointed: a link in place of the snapshot
    // or of an image is refused (exit 1, target untouched); a rerun over the
    // regular files of an earlier run works.
    void neverThroughLinks()
    {
        QTemporaryDir dir;
        const auto run = [](const QString &file) {
            return TestSupport::run(BUILD_DIR "/report/drivescope-report", {"--snapshot", file, "--with-images"},
                                    {"DRIVESCOPE_NODES=" SOURCE_DIR "/examples/nodes/demo.json"});
        };
        const QString target = dir.filePath("precious");
        QFile t(target);
        QVERIFY(t.open(QIODevice::WriteOnly) && t.write("keep") == 4);
        t.close();
        QVERIFY(QFile::link(target, dir.filePath("link.json")));
        TestSupport::Run done = run(dir.filePath("link.json"));
        QCOMPARE(done.exitCode, 1);
        QVERIFY2(done.err.contains("symbolic link"), qPrintable(done.err));

        const QString snap = dir.filePath("snap.json");
        QCOMPARE(run(snap).exitCode, 0);
        QCOMPARE(run(snap).exitCode, 0);
        QVERIFY(!load(snap).isEmpty());
        QCOMPARE(QFileInfo(dir.filePath("snap.images")).permissions() & (QFile::ReadGroup | QFile::ReadOther),
                 QFileDevice::Permissions());
        const QStringList images = QDir(dir.filePath("snap.images")).entryList({"*.img"});
        QVERIFY(!images.isEmpty());
        const QString image = dir.filePath("snap.images/" + images.first());
        QVERIFY(QFile::remove(image) && QFile::link(target, image));
        done = run(snap);
        QCOMPARE(done.exitCode, 1);
        QVERIFY2(done.err.contains("symbolic link"), qPrintable(done.err));
        QCOMPARE(text(target), QStringLiteral("keep"));
    }

    void redacted()
    {
        auto backend = Linux::createBackend(synthetic, QStringLiteral("/nonexistent"));
        QTemporaryDir dir;
        const QString file = dir.path() + "/machine.json";
        QVERIFY(writeSnapshot(*backend, file, false, true, nullptr));
        const QString raw = text(file);
        const QString secrets = "AC1234567890 S6B0NL0T123456 0123456789AB S0M1ABCD 0x12345678 0x0a1b2c3d "
                                "0025385b-a1b2-c3d4-e5f6-000000000001 10111213-1415-1617-1819-1a1b1c1d1e1f";
        for (const QString &secret : secrets.split(' ')) {
            QVERIFY2(!raw.contains(secret, Qt::CaseInsensitive), qPrintable(secret));
            QVERIFY2(!raw.contains(QString::fromLatin1(secret.toLatin1().toHex(' '))),
                     qPrintable(secret + " in a buffer"));
        }
        const QJsonObject root = load(file);
        // The same serial is replaced by the same stand-in everywhere.
        const QString serial = first(root, "/devices/block/sda", "SERIAL")["text"].toString();
        QVERIFY(!serial.isEmpty());
        QCOMPARE(first(root, "/devices/block/sda", "VPD_SERIAL", "1")["text"].toString(), serial);
        const QByteArray identify = setBuffer(root, "/devices/block/sda", "ATA_IDENTIFY", "ATA_IDENTIFY");
        QCOMPARE(Applications::DriveScope::Model::Identify::Words(identify).text(10, 10).trimmed(), serial);
        quint8 sum = 0;
        for (char c : identify)
            sum += quint8(c);
        QCOMPARE(sum, quint8(0));
        const QByteArray page80 = setBuffer(root, "/devices/block/sda", "GET_SCSI_VPDS", "VPD_PAGE_128");
        QCOMPARE(QString::fromLatin1(page80.mid(4)), serial);
        QCOMPARE(int(quint8(page80[3])), serial.size());
        // Different serials stay different.
        QVERIFY(first(root, "/devices/block/sdc", "SERIAL")["text"].toString() != serial);
    }

    // A drive whose blocks cannot be read gets no image, and its replay refuses
    // reads as the drive did, instead of showing a blank disk.
    void unreadableDriveReplaysUnreadable()
    {
        auto &memory = TestSupport::MemoryBackend::install();
        for (const QString path : {"/denied", "/readable"}) {
            auto &n = memory.node(path);
            n.p0().set("TYPE", {Variant::ofText("SATA")});
            n.blockSize = 512;
            n.blockCount = 4096;
            n.image = QByteArray(512, 'x');
            memory.driveList.append({path, path, 2});
        }
        memory.node("/denied").fail << "read";
        QTemporaryDir dir;
        const QString file = dir.path() + "/machine.json";
        QVERIFY(writeSnapshot(Backend::instance(), file, true, false, nullptr));
        const QJsonObject nodes = load(file)["nodes"].toObject();
        QCOMPARE(nodes["/denied"]["storage"]["blockCount"].toInteger(), 4096);
        QVERIFY(!nodes["/denied"]["storage"].toObject().contains("image"));
        QCOMPARE(nodes["/denied"]["fail"].toArray(), QJsonArray{"read"});
        QVERIFY(nodes["/readable"]["storage"].toObject().contains("image"));
        QVERIFY(!nodes["/readable"].toObject().contains("fail"));

        auto sim = Sim::createBackend(file);
        QByteArray block(512, '\0');
        for (const QString path : {"/denied", "/readable"}) {
            const auto storage = sim->storage(sim->provider(sim->open(path), 0));
            QVERIFY(storage);
            QCOMPARE(storage->read(0, 1, block.data()), path == "/readable");
        }
        QCOMPARE(block, QByteArray(512, 'x'));
    }

    void loopImage()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to attach a loop device");
        QTemporaryDir dir;
        const QString image = dir.path() + "/disk.img";
        {
            QFile f(image);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(8 * 1024 * 1024));
        }
        if (QStandardPaths::findExecutable("sgdisk").isEmpty() ||
            TestSupport::run("sfdisk", {"--no-reread", "--no-tell-kernel", image}, {},
                             "label: gpt\nlabel-id: 11223344-5566-7788-99AA-BBCCDDEEFF00\nstart=2048, size=4096\n")
                    .exitCode != 0)
            QSKIP("sfdisk or sgdisk is not available");
        const TestSupport::Run losetup = TestSupport::run("losetup", {"-f", "--show", image});
        if (losetup.exitCode != 0)
            QSKIP("losetup cannot attach a loop device here");
        const QString device = losetup.out.trimmed();
        auto detach = qScopeGuard([&] { QProcess::execute("losetup", {"-d", device}); });

        auto backend = Linux::createBackend();
        const QString file = dir.path() + "/snap.json";
        QString error;
        QVERIFY2(writeSnapshot(*backend, file, true, true, &error), qPrintable(error));
        const QJsonObject node = load(file)["nodes"].toObject()["/devices/block/" + device.mid(5)].toObject();
        const QString imageFile = dir.path() + '/' + node["storage"].toObject()["image"].toString();
        QCOMPARE(QFileInfo(imageFile).size(), qint64(8 * 1024 * 1024));
        // sgdisk checks both headers and both tables (checksums, agreement); the
        // disk GUID sfdisk reads is the stand-in the DISK_SIGNATURE property shows.
        const TestSupport::Run verify = TestSupport::run("sgdisk", {"-v", imageFile});
        QVERIFY2(verify.out.contains("No problems found"), qPrintable(verify.out + verify.err));
        const QString dump = TestSupport::run("sfdisk", {"--dump", imageFile}).out;
        const QString signature =
            node["properties"].toObject()["DISK_SIGNATURE"].toArray().first().toObject()["text"].toString();
        QVERIFY2(!signature.isEmpty() && dump.contains("label-id: " + signature + '\n'), qPrintable(dump));
        QVERIFY(!dump.contains("11223344-5566-7788-99AA-BBCCDDEEFF00"));
    }

    void simulatorReadsItBack()
    {
        auto real = Linux::createBackend(synthetic, QStringLiteral("/nonexistent"));
        QTemporaryDir dir;
        const QString file = dir.path() + "/machine.json";
        QVERIFY(writeSnapshot(*real, file, false, false, nullptr));
        auto sim = Sim::createBackend(file);
        // Drives in the machine's order, labels, every property in the backend's
        // order (not alphabetical), set names.
        QCOMPARE(TestSupport::shownDrives(*sim), TestSupport::shownDrives(*real));
        QVERIFY(sim->pciBusExists());
        for (const DriveEntry &e : real->drives()) {
            for (int index : {0, 1}) {
                const auto lp = real->provider(real->open(e.path), index);
                if (!lp)
                    continue;
                const auto lg = real->generic(lp);
                const auto sg = sim->generic(sim->provider(sim->open(e.path), index));
                for (int i = 0; i < lg->propertySetCount(); ++i) {
                    const QString name = lg->propertySetName(i);
                    QVERIFY2(sg->request({Variant::ofInt(1, name)}) == lg->request({Variant::ofInt(1, name)}),
                             qPrintable(e.path + ' ' + name));
                }
            }
        }
        const QString deviceNode = "/sys/devices/pci0000:00/0000:00:17.0/ata3/host2/target2:0:0/2:0:0:0";
        QCOMPARE(sim->companionNodes(deviceNode).value(0).path, QStringLiteral("/devices/pci/0000:00:17.0"));
        QVERIFY(sim->open("/devices/pci/0000:00:17.0"));
    }

    // A byte set the writer knows nothing special about (the NVMe health log)
    // goes into the file and comes back from the simulator unchanged.
    void healthLogSurvives()
    {
        auto demo = Sim::createBackend(QStringLiteral(SOURCE_DIR "/examples/nodes/demo/interfaces.json"));
        QTemporaryDir dir;
        const QString file = dir.path() + "/machine.json";
        QVERIFY(writeSnapshot(*demo, file, false, true, nullptr));
        auto replay = Sim::createBackend(file);
        const auto log = [](Backend &b) {
            const auto g = b.generic(b.provider(b.open(QStringLiteral("/devices/nvme/nvme1n1")), 0));
            return g ? g->request({Variant::ofInt(1, QStringLiteral("NVME_SMART_LOG"))}) : PropertyValue();
        };
        QCOMPARE(log(*replay).value(0).buffer.size(), 512);
        QVERIFY(log(*replay) == log(*demo));
    }
};

QTEST_GUILESS_MAIN(TestSnapshot)
#include "tst_snapshot.moc"
