// The Linux backend over sysfs trees: the synthetic machine kept beside the
// tests and the real dumps of the shared test data (unpacked at test time).
#include <QtTest>

#include "TestSupport.h"
#include "model/Acquisition.h"
#include "platform/Error.h"
#include "platform/linux/Hotplug.h"
#include "platform/linux/LinuxBackend.h"

#include <thread>

using namespace Services::Nodes;

namespace {
const QString synthetic = QStringLiteral(TESTS_DIR "/data/sysfs/synthetic/sys");

using TestSupport::shownValue;

Ref<Interfaces::Generic> genericOf(Backend &backend, const QString &path, int provider = 0)
{
    const auto node = backend.open(path);
    if (!node)
        return nullptr;
    const auto p = backend.provider(node, provider);
    return p ? backend.generic(p) : nullptr;
}

// A copy of the synthetic machine whose disk `disk` has SCSI type `type`.
bool syntheticWithType(const QTemporaryDir &dir, const QString &disk, int type)
{
    if (!TestSupport::copyTree(synthetic, dir.path()))
        return false;
    const QString file = QFileInfo(dir.path() + "/block/" + disk + "/device/type").canonicalFilePath();
    QFile f(file);
    return file.startsWith(QFileInfo(dir.path()).canonicalFilePath()) && f.open(QIODevice::WriteOnly) &&
           f.write(QByteArray::number(type) + "\n") > 0;
}

// The real device calls, counting requests, or every open failing with `openError`.
struct RealIo : Linux::DeviceIo {
    std::atomic<int> requests{0};
    int openError = 0;
    int open(const char *path, int flags) override
    {
        errno = openError;
        return openError ? -1 : DeviceIo::open(path, flags);
    }
    int ioctl(int fd, unsigned long request, void *argument) override
    {
        ++requests;
        return DeviceIo::ioctl(fd, request, argument);
    }
};

} // namespace

class TestLinuxBackend : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<Backend> m_backend;

private slots:
    void initTestCase()
    {
        // No device nodes: every raw read fails as "not there", not as a rights problem.
        m_backend = Linux::createBackend(synthetic, QStringLiteral(TESTS_DIR "/data/sysfs/no-dev"));
        QVERIFY(m_backend->available());
    }

    // Boot/RPMB/general purpose areas, hidden path devices, free loop devices
    // and empty readers are left out; loop devices come last. Element names
    // matter too: the acquisition and the USB tab look elements up by name.
    void syntheticMachine() { COMPARE_GOLDEN("platform/linux-synthetic.txt", TestSupport::shownDrives(*m_backend)); }

    void propertySets()
    {
        const PropertyValue identify =
            genericOf(*m_backend, "/devices/block/sda")->request({Variant::ofInt(1, "ATA_IDENTIFY")});
        QVERIFY(identify.size() == 1 && identify[0].buffer.size() == 512);
        QCOMPARE(quint8(identify[0].buffer[510]), quint8(0xA5)); // words kept low byte first

        const auto sdc = genericOf(*m_backend, "/devices/block/sdc", 1);
        QStringList pages;
        for (const Variant &v : sdc->request({Variant::ofInt(1, "GET_SCSI_VPDS")}))
            pages << (v.kind == Variant::Buffer ? v.name : "not a buffer");
        QCOMPARE(pages, (QStringList{"VPD_PAGE_0", "VPD_PAGE_128", "VPD_PAGE_131"}));
        const PropertyValue inquiry = sdc->request({Variant::ofText("Yes", "GET_SCSI_INQUIRY")});
        QCOMPARE(inquiry.value(0).buffer.mid(8, 7), QByteArray("SEAGATE"));
        // An NVMe drive offers no set; asking for one fails cleanly.
        QVERIFY(
            genericOf(*m_backend, "/devices/block/nvme0n1")->request({Variant::ofInt(1, "ATA_IDENTIFY")}).isEmpty());
        QCOMPARE(Error::get(), quint32(Error::NotFound));
    }

    void pciNodes()
    {
        const auto companions =
            m_backend->companionNodes("/sys/devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0");
        QVERIFY(companions.size() == 1 && companions[0].type == 2);
        const auto pci = genericOf(*m_backend, companions[0].path);
        QVERIFY2(pci, qPrintable(companions[0].path));
        QCOMPARE(QStringList({companions[0].path, shownValue(pci->read("BUS_INFO")).left(7),
                              shownValue(pci->read("CLASSCODE"))}),
                 QStringList({"/devices/pci/0000:3d:00.0", "BUS=61,", "CLASSCODE=" + QString::number(0x010802)}));
        QVERIFY(m_backend->pciBusExists() && m_backend->open("/devices/pci/bus"));
        // No PCI ancestry (platform eMMC, loop): no companion. One spelling of an address only.
        QVERIFY(m_backend->companionNodes("/sys/devices/virtual/block/loop0").isEmpty());
        QVERIFY(m_backend->companionNodes("garbage").isEmpty());
        QVERIFY(!m_backend->open("/devices/pci/0000:99:00.0") && !m_backend->open("/devices/pci/0000:3D:00.0"));
    }

    void failures()
    {
        // A partition, a path through "..", a disk not there.
        for (const char *path : {"/devices/block/sda1", "/devices/block/../block/sda", "/devices/block/nothere"})
            QVERIFY2(!m_backend->open(path), path);
        QCOMPARE(Error::get(), quint32(Error::NotFound));
        // No volume server on Linux: its control node says so.
        QCOMPARE(shownValue(genericOf(*m_backend, "/devices/vsctrl")->read("STATUS")),
                 QStringLiteral("STATUS=\"OFF\""));
        const auto node = m_backend->open("/devices/block/sda");
        QVERIFY(node);
        QCOMPARE(node->canonicalName(), QStringLiteral("block:8:0"));
        QVERIFY(!m_backend->provider(node, 2) && !m_backend->provider(m_backend->open("/devices/block/loop0"), 1));
        // No device node to open: no storage, and it is not a matter of rights.
        QVERIFY(!m_backend->storage(m_backend->provider(node, 0)));
        QCOMPARE(Error::get(), quint32(Error::OpenFailed));
        QVERIFY(m_backend->errors().isEmpty());
        // Raw-only properties are simply absent.
        QVERIFY(genericOf(*m_backend, "/devices/block/sda")->read("ATA_SMART_STATUS").isEmpty());
    }

    void missingRoot()
    {
        auto backend = Linux::createBackend(QStringLiteral("/nonexistent/sys"), QStringLiteral("/nonexistent/dev"));
        QVERIFY(!backend->available() && backend->drives().isEmpty());
        QCOMPARE(backend->errors().size(), 1);
        QVERIFY(backend->errors().first().contains("/nonexistent/sys/block"));
    }

    // Cases in tests/data/platform/hotplug.txt.
    void hotplugEvents()
    {
        QFile cases(QStringLiteral(TESTS_DIR "/data/platform/hotplug.txt"));
        QVERIFY(cases.open(QIODevice::ReadOnly));
        int checked = 0;
        for (const QString &line : QString::fromUtf8(cases.readAll()).split('\n')) {
            const QStringList f = line.split('\t');
            if (line.startsWith('#') || f.size() != 5)
                continue;
            const QString watched = f[0] == "-" ? QString() : f[0];
            QVERIFY2(int(Linux::hotplugEventType(watched, f[1], f[2], f[3])) == f[4].toInt(), qPrintable(line));
            ++checked;
        }
        QCOMPARE(checked, 11);
    }

    void interruptWakesWait()
    {
        const auto client = m_backend->deviceClient("/devices/block/sda");
        if (!client)
            QSKIP("no uevent monitor in this environment");
        QVERIFY(!client->wait(10));
        std::jthread interrupter([&] { client->interrupt(); });
        QVERIFY(client->wait(0xFFFFFFFF));
        QCOMPARE(client->eventType(), 0u); // nothing really happened
        client->acknowledge();
        QVERIFY(!m_backend->deviceClient("/devices/block/nothere"));
    }

    // What reaches the transport when a disk's raw data is read, by class: no
    // 0xA1 (BLANK to optical drives) but to disks, no 0x85 but to disks and
    // libata's own optical drives.
    void passThroughByClass_data()
    {
        QTest::addColumn<QString>("disk");
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("passThrough"); // opcodes of the ATA PASS-THROUGH CDBs
        QTest::newRow("libata disk") << "sda" << 0 << QStringList{"85", "A1"};
        QTest::newRow("libata optical") << "sda" << 5 << QStringList{"85"};
        QTest::newRow("USB optical") << "sdb" << 5 << QStringList{};
        QTest::newRow("SAS optical") << "sdc" << 5 << QStringList{};
        QTest::newRow("tape") << "sdc" << 1 << QStringList{};
        QTest::newRow("libata changer") << "sda" << 8 << QStringList{};
    }
    void passThroughByClass()
    {
        QFETCH(QString, disk);
        QFETCH(int, type);
        QFETCH(QStringList, passThrough);
        QTemporaryDir dir;
        QVERIFY(syntheticWithType(dir, disk, type));
        auto io = std::make_shared<TestSupport::FakeDevices>(dir.path());
        auto backend = Linux::createBackend(dir.path(), "/dev", io);
        const auto g = genericOf(*backend, "/devices/block/" + disk);
        QVERIFY(g);
        g->propertySetCount(); // reads the raw data
        QSet<QString> sent;
        for (const QString &cdb : io->cdbs()) {
            if (!cdb.startsWith("12"))
                sent << cdb.left(2);
        }
        QCOMPARE(sent, QSet<QString>(passThrough.begin(), passThrough.end()));
        QCOMPARE(io->opens(), QStringList{disk});
    }

    // Selecting a disk and refreshing it: each command once per refresh,
    // however many interfaces the tabs take, and at most two opens.
    void oneSequencePerRefresh()
    {
        auto io = std::make_shared<TestSupport::FakeDevices>(synthetic);
        Backend::install(Linux::createBackend(synthetic, "/dev", io));
        Applications::DriveScope::Acquisition acquisition;
        for (int refresh = 1; refresh <= 2; ++refresh) {
            QVERIFY(acquisition.acquireDrive("/devices/block/sda", "sda"));
            // One open for the commands, one for the blocks; neither outlives the refresh.
            QVERIFY(io->opens().size() <= 2 * refresh);
            const QStringList cdbs = io->cdbs();
            QVERIFY(!cdbs.isEmpty());
            for (const QString &cdb : cdbs)
                QCOMPARE(cdbs.count(cdb), refresh);
        }
        Backend::install(nullptr);
    }

    // A regular file where the device node should be gets no request at all.
    void regularFileGetsNoIoctl()
    {
        QTemporaryDir dev;
        QFile node(dev.filePath("sda"));
        QVERIFY(node.open(QIODevice::WriteOnly) && node.write(QByteArray(4096, 'x')) == 4096);
        node.close();
        auto io = std::make_shared<RealIo>();
        TestSupport::LogCapture log;
        auto backend = Linux::createBackend(synthetic, dev.path(), io);
        const auto g = genericOf(*backend, "/devices/block/sda");
        QVERIFY(g);
        g->propertySetCount();
        QVERIFY(!backend->storage(backend->provider(backend->open("/devices/block/sda"), 0)));
        QCOMPARE(io->requests.load(), 0);
        QVERIFY2(log.contains("it is not a block device"), qPrintable(log.text()));
    }

    // A drive this user may not open still reports its size from sysfs; its
    // blocks are refused as a matter of rights, and the notice says so.
    void deniedDriveKeepsGeometry()
    {
        auto io = std::make_shared<RealIo>();
        io->openError = EACCES;
        auto backend = Linux::createBackend(synthetic, "/dev", io);
        const auto provider = backend->provider(backend->open("/devices/block/sda"), 0);
        const auto storage = backend->storage(provider);
        QFile size(synthetic + "/block/sda/size");
        QVERIFY(storage && size.open(QIODevice::ReadOnly));
        QCOMPARE(storage->blockSize() * storage->blockCount(), size.readAll().trimmed().toULongLong() * 512);
        QByteArray block(int(storage->blockSize()), '\0');
        QVERIFY(!storage->read(0, 1, block.data()));
        QVERIFY(backend->lockable(provider)->lock());
        QVERIFY(!backend->errors().isEmpty());
    }

    // The real dumps: every disk lsblk showed is listed, and its name holds the
    // model lsblk showed (SCSI names also carry the vendor).
    void realDumps_data()
    {
        QTest::addColumn<QString>("archive");
        SHARED_DATA_OR_RETURN(folder, "sysfs");
        for (const QString &name : QDir(folder).entryList({"*.tar.xz"}))
            QTest::newRow(qPrintable(name)) << folder + '/' + name;
    }
    void realDumps()
    {
        QFETCH(QString, archive);
        QTemporaryDir dir;
        QCOMPARE(TestSupport::run("tar", {"-xJf", archive, "-C", dir.path()}).exitCode, 0);
        const QString top = QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0);
        const QString base = dir.path() + '/' + top;
        auto backend = Linux::createBackend(base + "/sys", dir.path() + "/no-dev");
        QVERIFY(backend->available());

        QMap<QString, QString> listed;
        for (const DriveEntry &e : backend->drives()) {
            const auto generic = genericOf(*backend, e.path);
            QVERIFY2(generic && !shownValue(generic->read("TYPE")).isEmpty(), qPrintable(e.path));
            listed[e.path.section('/', -1)] = shownValue(generic->read("NAME"));
        }
        QVERIFY(!listed.isEmpty());
        QFile vendor(base + "/lsblk-" + top + "-vendor");
        QVERIFY(vendor.open(QIODevice::ReadOnly));
        int compared = 0;
        static const QRegularExpression skipped("^(loop|sr|vg_)");
        for (const QString &line : QString::fromUtf8(vendor.readAll()).split('\n').mid(1)) {
            // Whole disks start in column 0; the model column follows the name.
            const QStringList words = line.split(' ', Qt::SkipEmptyParts);
            if (words.isEmpty() || !line.at(0).isLetter() || words[0].contains(skipped))
                continue;
            QVERIFY2(listed.contains(words[0]), qPrintable(words[0] + " is not listed"));
            if (words.size() >= 2) {
                QVERIFY2(listed[words[0]].contains(words[1]), qPrintable(words[0] + ": " + listed[words[0]]));
                ++compared;
            }
        }
        QVERIFY(compared > 0);
    }
};

QTEST_GUILESS_MAIN(TestLinuxBackend)
#include "tst_linuxbackend.moc"
