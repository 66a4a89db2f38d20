// The privileged helper: its protocol refuses what is not a plain request for
// a whole disk sysfs lists, before any device is touched; and on the real
// machine a user without rights sees, through the helper behind a stand-in
// pkexec, exactly the drive root sees, or (prompt cancelled) the sysfs data
// and one sentence about it.
#include <QtTest>

#include "platform/linux/HelperProtocol.h"
#include "platform/linux/LinuxBackend.h"
#include "report/Report.h"

#include <future>
#include <sys/socket.h>
#include <unistd.h>

using namespace Services::Nodes;
using namespace Services::Nodes::Linux;

namespace {
const QString synthetic = QStringLiteral(TESTS_DIR "/data/sysfs/synthetic/sys");

class CountingIo : public DeviceIo {
public:
    int open(const char *path, int flags) override
    {
        ++opens;
        return DeviceIo::open(path, flags);
    }
    int opens = 0;
};

bool run(const QString &program, const QStringList &arguments, QString *output = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000))
        return false;
    if (output)
        *output = QString::fromUtf8(p.readAll()).trimmed();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The JSON report of one drive through the backend in use.
QJsonObject report(const QString &drive)
{
    QString out, err;
    QTextStream o(&out), e(&err);
    Applications::DriveScope::runReport({"--drive", drive, "--json"}, o, e);
    return QJsonDocument::fromJson(out.toUtf8())["drives"][0].toObject();
}
} // namespace

class TestHelper : public QObject {
    Q_OBJECT

private slots:
    void refusals_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("error");
        QTest::newRow("not JSON") << QByteArray("raw sda") << "not a JSON object";
        QTest::newRow("oversized") << QByteArray(R"({"op":"raw","drive":")") + QByteArray(5000, 'a') + "\"}"
                                   << "longer than 4096";
        QTest::newRow("unknown op") << QByteArray(R"({"op":"write","drive":"sda"})") << "Unknown request";
        QTest::newRow("unknown key") << QByteArray(R"({"op":"raw","drive":"sda","force":true})") << "Unknown key";
        QTest::newRow("parent path") << QByteArray(R"({"op":"raw","drive":"../sda"})") << "not a drive";
        QTest::newRow("absolute path") << QByteArray(R"({"op":"raw","drive":"/etc/passwd"})") << "not a drive";
        QTest::newRow("partition") << QByteArray(R"({"op":"raw","drive":"sda1"})") << "not a drive";
        QTest::newRow("controller") << QByteArray(R"({"op":"raw","drive":"nvme0"})") << "not a drive";
        QTest::newRow("no drive") << QByteArray(R"({"op":"raw"})") << "not a drive";
        QTest::newRow("beyond the table")
            << QByteArray(R"({"op":"read","drive":"sda","offset":1048576,"length":512})") << "first and the last";
        QTest::newRow("read too long") << QByteArray(R"({"op":"read","drive":"sda","offset":0,"length":1048576})")
                                       << "length from 1";
        QTest::newRow("fractional offset")
            << QByteArray(R"({"op":"read","drive":"sda","offset":0.5,"length":1})") << "whole offset";
    }
    void refusals()
    {
        QFETCH(QByteArray, request);
        QFETCH(QString, error);
        auto io = std::make_shared<CountingIo>();
        const Reader reader(synthetic, QStringLiteral(TESTS_DIR "/data/sysfs/no-dev"), io);
        const QJsonObject reply = QJsonDocument::fromJson(Helper::answer(reader, request)).object();
        QCOMPARE(reply["ok"].toBool(true), false);
        QVERIFY2(reply["error"].toString().contains(error), qPrintable(reply["error"].toString()));
        QCOMPARE(io->opens, 0);
    }

    // An overlong line is answered once and skipped; the next request is
    // answered, and the end of input ends the helper.
    void lines()
    {
        int pair[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        const QByteArray input = QByteArray(20000, 'x') + "\n{\"op\":\"hello\"}\n";
        QCOMPARE(::write(pair[0], input.constData(), size_t(input.size())), ssize_t(input.size()));
        ::shutdown(pair[0], SHUT_WR);
        const Reader reader(synthetic, QStringLiteral(TESTS_DIR "/data/sysfs/no-dev"));
        QCOMPARE(Helper::serve(reader, pair[1], pair[1]), 0);
        ::close(pair[1]);
        QFile out;
        QVERIFY(out.open(pair[0], QIODevice::ReadOnly, QFile::AutoCloseHandle));
        const QList<QByteArray> replies = out.readAll().split('\n');
        QCOMPARE(replies.size(), 3);
        QVERIFY(replies[0].contains("longer than"));
        QCOMPARE(replies[1], QByteArray(R"({"ok":true,"protocol":1})"));
    }

    // Values keep kind, name and bytes on the way through the protocol.
    void values()
    {
        PropertyTable table;
        table.set("A", {Variant::ofInt(0xFFFFFFFFFFFFFFFFull, "A"), Variant::ofText(QString::fromUtf8("é\n"))});
        table.set("B", {Variant::ofBuffer(QByteArray("\0\xff", 2), "VPD_PAGE_0"), Variant::none(),
                        Variant::ofList({Variant::ofInt(1)}, "L")});
        const auto back = Helper::tableFrom(Helper::tableJson(table));
        QVERIFY(back);
        QCOMPARE(back->entries(), table.entries());
        QVERIFY(!Helper::tableFrom(QJsonArray{QJsonArray{"A", QJsonArray{QJsonObject{{"int", "12"}}}}}));
        QVERIFY(!Helper::tableFrom(QJsonArray{QJsonArray{"A", QJsonArray{QJsonObject{{"buffer", "abc"}}}}}));
    }

    // Root partitions a loop device and reads it; then the same test program,
    // as uid 1000 (asUser), reads it through the helper behind fake pkexec.
    void asUnprivilegedUser_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("granted") << false;
        QTest::newRow("prompt cancelled") << true;
    }
    void asUnprivilegedUser()
    {
        QFETCH(bool, cancel);
        if (::geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty() ||
            !QFileInfo::exists("/usr/bin/python3"))
            QSKIP("needs root, setpriv and python3");
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777)));
        const QString image = dir.filePath("disk.img");
        QVERIFY(run("truncate", {"-s", "16M", image}));
        QProcess sfdisk;
        sfdisk.start("sfdisk", {"-q", image});
        sfdisk.write("label: gpt\n,4M\n,\n");
        sfdisk.closeWriteChannel();
        QVERIFY(sfdisk.waitForFinished() && sfdisk.exitCode() == 0);
        QString loop;
        if (!run("losetup", {"-f", "--show", image}, &loop))
            QSKIP("no loop device can be bound here");
        const auto detach = qScopeGuard([&] { run("losetup", {"-d", loop}); });

        Backend::install(Linux::createBackend());
        const QJsonObject asRoot = report(loop);
        QVERIFY(!asRoot.isEmpty());
        QFile expected(dir.filePath("expected.json"));
        QVERIFY(expected.open(QIODevice::WriteOnly));
        expected.write(QJsonDocument(asRoot).toJson());
        expected.close();

        const QString bin = dir.filePath("bin");
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(QFile::link(TESTS_DIR "/platform/linux/fake_pkexec.py", bin + "/pkexec"));
        QProcess broker;
        const QString socket = dir.filePath("pkexec.socket");
        broker.start("/usr/bin/python3", {TESTS_DIR "/platform/linux/fake_pkexec.py", "--broker", socket, "1"});
        while (!cancel && !broker.canReadLine() && broker.waitForReadyRead(60000)) {
        }
        QVERIFY2(cancel || broker.readLine() == "ready\n", broker.readAllStandardError().constData());

        QStringList env{"HOME=" + dir.path(),
                        "PATH=" + bin + ":/usr/bin:/bin",
                        "QT_QPA_PLATFORM=offscreen",
                        "DRIVESCOPE_HELPER=" BUILD_DIR "/helper/drivescope-helper",
                        "FAKE_PKEXEC_SOCKET=" + socket,
                        "DRIVESCOPE_AS_USER=" + loop,
                        "DRIVESCOPE_EXPECTED=" + expected.fileName()};
        if (cancel)
            env << "FAKE_PKEXEC_CANCEL=1";
        QString said;
        const bool passed = run("setpriv",
                                QStringList{"--reuid=1000", "--regid=1000", "--clear-groups", "env", "-i"} + env +
                                    QStringList{QCoreApplication::applicationFilePath(), "asUser"},
                                &said);
        QVERIFY2(passed, qPrintable(said));
        // The broker ends once the helper it started has ended: the helper
        // did not outlive the window's backend.
        if (!cancel)
            QVERIFY(broker.waitForFinished(60000) && broker.exitCode() == 0);
        broker.kill();
        broker.waitForFinished();
    }

    // Run by asUnprivilegedUser as uid 1000; skipped otherwise.
    void asUser()
    {
        const QString loop = qEnvironmentVariable("DRIVESCOPE_AS_USER");
        if (loop.isEmpty())
            QSKIP("run by asUnprivilegedUser");
        QVERIFY(::geteuid() != 0);
        QFile file(qEnvironmentVariable("DRIVESCOPE_EXPECTED"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject asRoot = QJsonDocument::fromJson(file.readAll()).object();

        Backend::install(Linux::createBackend());
        Backend &backend = Backend::instance();
        const QJsonObject alone = report(loop);
        QVERIFY(alone != asRoot);
        QVERIFY(backend.fullAccessOffered());
        std::promise<bool> answered;
        backend.requestFullAccess([&](bool granted) { answered.set_value(granted); });
        const bool granted = answered.get_future().get();
        const QJsonObject through = report(loop);
        if (qEnvironmentVariableIsSet("FAKE_PKEXEC_CANCEL")) {
            QVERIFY(!granted);
            QCOMPARE(through, alone);
            QCOMPARE(backend.errors().filter("not granted").size(), 1);
            QVERIFY(backend.fullAccessOffered());
        } else {
            QVERIFY(granted);
            QCOMPARE(through, asRoot);
            QVERIFY(!backend.fullAccessOffered());
        }
        // Closing the window lets go of the helper, which then ends.
        Backend::install(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestHelper)
#include "tst_helper.moc"
