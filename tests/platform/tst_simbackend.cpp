// The simulator backend: the node service answered from a tree file, block
// reads from images, and node events when the file is edited.
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

#include "TestSupport.h"
#include "platform/Error.h"
#include "platform/sim/SimBackend.h"

using namespace Services::Nodes;

namespace {

// Replaces the file in one step, as editors save.
void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size() || !f.commit())
        qFatal("cannot write %s", qPrintable(path));
}

// Waits for the one event a client should get; 0 when none came.
quint32 nextEvent(const Ref<DeviceClient> &client, quint32 timeoutMs = 5000)
{
    if (!client->wait(timeoutMs))
        return 0;
    const quint32 type = client->eventType();
    client->acknowledge();
    return type;
}

} // namespace

class TestSimBackend : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QByteArray m_image;

    std::unique_ptr<Backend> machine()
    {
        // A drive with an image beside it, drives without, failing nodes, a missing image.
        QFile::remove(m_dir.filePath("machine.json"));
        QFile::copy(QStringLiteral(TESTS_DIR "/data/sim/machine.json"), m_dir.filePath("machine.json"));
        return Sim::createBackend(m_dir.filePath("machine.json"));
    }

    // A backend over `json` written to t.json in `dir`.
    static std::unique_ptr<Backend> over(const QTemporaryDir &dir, const QByteArray &json)
    {
        writeFile(dir.filePath("t.json"), json);
        return Sim::createBackend(dir.filePath("t.json"));
    }

    Ref<Provider> provider0(Backend &b, const QString &path)
    {
        const Ref<Node> node = b.open(path);
        return node ? b.provider(node, 0) : nullptr;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_image.resize(1000);
        for (int i = 0; i < m_image.size(); ++i)
            m_image[i] = char(i * 7 + 1);
        writeFile(m_dir.filePath("disk1.img"), m_image);
    }

    // The system answers, the errors (the missing image), and the drives in
    // file order, the path where there is no label, the broken one listed but
    // not opened; then the same of an empty tree: kept in
    // tests/expected/platform/sim-machine.txt.
    void systemQueriesAndDriveList()
    {
        writeFile(m_dir.filePath("empty.json"), "{}");
        const std::unique_ptr<Backend> backends[] = {machine(), Sim::createBackend(m_dir.filePath("empty.json"))};
        QString out;
        for (const auto &b : backends) {
            QVERIFY(b->available());
            out += QString::asprintf("hosted %d, boot \"%s\", PCI bus %d, companion of ata1 \"%s\", of ata2 %lld\n",
                                     b->hosted(), qPrintable(b->bootParameter()), b->pciBusExists(),
                                     qPrintable(b->companionNodes("/sys/ata1").value(0).path),
                                     qlonglong(b->companionNodes("/sys/ata2").size())) +
                   b->errors().join('\n') + '\n' + TestSupport::shownDrives(*b);
        }
        COMPARE_GOLDEN("platform/sim-machine.txt", out);
    }

    // A tree file not there yet: unavailable, said once; when it appears the list changes.
    void fileAppearingLater()
    {
        QTemporaryDir dir;
        TestSupport::MessageCapture messages;
        const auto b = Sim::createBackend(dir.filePath("late.json"));
        QCOMPARE(b->errors().size(), 1);
        QVERIFY(!b->available() && b->errors().first().startsWith("late.json: cannot be read"));
        QVERIFY(messages.contains("late.json: cannot be read"));
        QVERIFY(!b->open("/d"));
        QCOMPARE(Error::get(), quint32(Error::NotFound));
        const Ref<DeviceClient> list = b->driveListClient();
        writeFile(dir.filePath("late.json"), R"({"nodes": {"/d": {"drive": true}}})");
        QCOMPARE(nextEvent(list), quint32(DeviceClient::Changed));
        QVERIFY(b->available() && b->errors().isEmpty());
        QCOMPARE(b->drives().size(), 1);
    }

    void nodesProvidersAndGeneric()
    {
        const auto b = machine();
        const Ref<Node> node = b->open("/devices/sata/disk1");
        QVERIFY(node);
        QCOMPARE(node->canonicalName(), QString("sata1"));
        QCOMPARE(b->open("/devices/sata/disk0")->canonicalName(), QString("/devices/sata/disk0"));

        const Ref<Interfaces::Generic> g = b->generic(b->provider(node, 0));
        QVERIFY(g && g->propertyName(2).isNull() && g->propertyName(-1).isNull());
        Error::set(0);
        QVERIFY(g->read("NAME").isEmpty());
        QCOMPARE(Error::get(), quint32(Error::NotOffered)); // as the Linux backend says it

        // The first argument that names an existing set decides.
        QCOMPARE(g->request({Variant::ofInt(1, "ATA_IDENTIFY")}), PropertyValue{Variant::ofBuffer("\x01\x02")});
        QCOMPARE(g->request({Variant::ofText("Yes", "NOPE"), Variant::ofText("Yes", "ATA_SMART_ATTRIBUTES"),
                             Variant::ofInt(1, "ATA_IDENTIFY")}),
                 PropertyValue{Variant::ofBuffer("\x03")});
        Error::set(0);
        QVERIFY(g->request({Variant::ofText("Yes", "GET_SCSI_INQUIRY")}).isEmpty());
        QCOMPARE(Error::get(), quint32(Error::NotFound));
        QVERIFY(g->request({}).isEmpty());

        Error::set(0);
        QVERIFY(!b->provider(node, 2));
        QCOMPARE(Error::get(), quint32(Error::NotFound));
    }

    // A node's listed failures fail only that operation, with its error.
    void failingOperations()
    {
        const auto b = machine();
        const QList<std::tuple<QString, QString, quint32>> rows = {
            {"open", "/devices/broken", Error::OpenFailed},       {"open", "/devices/nothing", Error::NotFound},
            {"generic", "/devices/nogeneric", Error::OpenFailed}, {"storage", "/devices/nogeneric", Error::OpenFailed},
            {"lockable", "/devices/nolock", Error::OpenFailed},   {"request", "/devices/nolock", Error::IoFailed},
            {"storage", "/devices/pci/bus", Error::Unsupported}, // none there
            {"lockable", "/devices/pci/bus", Error::Unsupported},
        };
        for (const auto &[operation, path, error] : rows) {
            Error::set(0);
            const Ref<Provider> p = provider0(*b, path);
            const bool failed = operation == "open"      ? !p
                                : operation == "generic" ? p && !b->generic(p)
                                : operation == "storage" ? p && !b->storage(p)
                                : operation == "lockable"
                                    ? p && !b->lockable(p)
                                    : p && b->generic(p)->request({Variant::ofInt(1, "S")}).isEmpty();
            QVERIFY2(failed && Error::get() == error, qPrintable(operation + ' ' + path));
        }
        // The other drives are unaffected.
        QVERIFY(b->generic(provider0(*b, "/devices/sata/disk1")));
    }

    // Reads past the image's end give zeros, past the block count fail, and
    // nothing is written back; no image at all reads as zeros, a missing one fails.
    void storage()
    {
        const auto b = machine();
        const Ref<Provider> p = provider0(*b, "/devices/sata/disk1");
        const Ref<Interfaces::Storage> s = b->storage(p);
        const Ref<Interfaces::Lockable> l = b->lockable(p);
        QVERIFY(s && l);
        QVERIFY(l->lock());
        QCOMPARE(s->blockCount(), quint64(8));
        QByteArray buf(512 * 8, '\x55');
        QVERIFY(s->read(0, 8, buf.data()));
        QCOMPARE(buf, m_image + QByteArray(512 * 8 - 1000, '\0'));
        QVERIFY(s->read(8, 0, buf.data()));
        Error::set(0);
        QVERIFY(!s->read(7, 2, buf.data()));
        QCOMPARE(Error::get(), quint32(Error::IoFailed));
        QVERIFY(!s->read(8, 1, buf.data()) && !s->read(~quint64(0), 2, buf.data()));
        l->unlock();
        QFile f(m_dir.filePath("disk1.img"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), m_image); // not extended to blockCount either

        QByteArray two(8192, '\x55');
        QVERIFY(b->storage(provider0(*b, "/devices/sata/disk0"))->read(0, 2, two.data()));
        QCOMPARE(two, QByteArray(8192, '\0'));
        const Ref<Interfaces::Storage> gone = b->storage(provider0(*b, "/devices/noimage"));
        Error::set(0);
        QVERIFY(gone && !gone->read(0, 1, two.data()));
        QCOMPARE(Error::get(), quint32(Error::IoFailed));
    }

    void editsBecomeEvents()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("t.json");
        const auto b = over(dir, R"({"nodes": {"/a": {"drive": true, "properties": {"X": 1}},
                                              "/b": {"drive": true}, "/same": {}}})");
        const Ref<DeviceClient> a = b->deviceClient("/a"), bb = b->deviceClient("/b"), c = b->deviceClient("/c"),
                                same = b->deviceClient("/same"), list = b->driveListClient(),
                                list2 = b->driveListClient();

        const QByteArray edited = R"({"nodes": {"/a": {"drive": true, "properties": {"X": 2}},
                                              "/c": {"drive": true}, "/same": {}}})";
        writeFile(file, edited);
        QCOMPARE(nextEvent(a), quint32(DeviceClient::Changed));
        QCOMPARE(nextEvent(bb), quint32(DeviceClient::Removed));
        QCOMPARE(nextEvent(c), quint32(DeviceClient::Added));
        QCOMPARE(nextEvent(list), quint32(DeviceClient::Changed));
        QCOMPARE(nextEvent(list2), quint32(DeviceClient::Changed));
        QCOMPARE(b->drives().size(), 2);
        QCOMPARE(b->drives().last().path, QString("/c"));

        // Same content written again: nothing to report. A later real edit
        // marks the end: the clients hold its events and nothing before them.
        writeFile(file, edited);
        writeFile(file,
                  QByteArray(edited).replace(R"("/c": {"drive": true})", R"("/c": {"drive": true, "label": "C"})"));
        QCOMPARE(nextEvent(c), quint32(DeviceClient::Changed));
        QCOMPARE(nextEvent(list), quint32(DeviceClient::Changed));
        for (const auto &client : {a, same, list, c})
            QVERIFY(!client->wait(0)); // one edit, one event
    }

    // A broken edit keeps the tree and is said once; rewriting the file in
    // place, where the poller may see it empty for a moment, adds nothing.
    void brokenEditKeepsTreeAndReportsOnce()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("t.json");
        const auto b = over(dir, R"({"nodes": {"/a": {"drive": true}}})");
        const Ref<DeviceClient> a = b->deviceClient("/a"), list = b->driveListClient();
        TestSupport::MessageCapture messages;
        writeFile(file, R"({"nodes": {"/a": {"drive": true},)");
        QTRY_COMPARE(b->errors().size(), 1);
        QVERIFY(!list->wait(0));
        QCOMPARE(b->drives().size(), 1);
        QVERIFY(b->errors().first().startsWith("t.json: line 1"));

        QFile f(file); // truncated first, as some editors and scripts do
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.flush());
        f.write(R"({"nodes": {"/a": {"drive": true, "label": "A"}}})");
        f.close();
        QCOMPARE(nextEvent(a), quint32(DeviceClient::Changed));
        QCOMPARE(b->drives().first().label, QString("A"));
        QVERIFY(b->errors().isEmpty());
        QCOMPARE(messages.all().size(), 1);
        QVERIFY(messages.all().first().startsWith("t.json: line 1"));
    }

    void includedAndBufferFilesAreWatched()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("more/x.json"), R"({"nodes": {"/x": {"sets": {"S": {"file": "x.bin"}}}}})");
        writeFile(dir.filePath("more/x.bin"), "one");
        const auto b = over(dir, R"({"include": ["more/x.json"]})");
        const Ref<DeviceClient> x = b->deviceClient("/x"), y = b->deviceClient("/y");
        writeFile(dir.filePath("more/x.bin"), "two");
        QCOMPARE(nextEvent(x), quint32(DeviceClient::Changed));
        writeFile(dir.filePath("more/x.json"), R"({"nodes": {"/x": {}, "/y": {}}})");
        QCOMPARE(nextEvent(y), quint32(DeviceClient::Added));
    }

    // An interrupt wakes a waiter with no event, also once the backend is gone.
    void interruptWakesAWaiter()
    {
        Ref<DeviceClient> c;
        {
            const auto b = machine();
            c = b->deviceClient("/devices/sata/disk1");
            Error::set(0);
            QVERIFY(!b->deviceClient(QString()));
            QCOMPARE(Error::get(), quint32(Error::BadArguments));
        }
        QVERIFY(c && !c->wait(0));
        std::thread waiter([&] { c->wait(0xFFFFFFFF); });
        c->interrupt();
        waiter.join();
        QCOMPARE(c->eventType(), quint32(0));
        c->acknowledge();
        QVERIFY(!c->wait(0));
    }
};

QTEST_GUILESS_MAIN(TestSimBackend)
#include "tst_simbackend.moc"
