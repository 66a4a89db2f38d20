// Full drive access for a window that runs as a user without rights: root
// partitions a loop device and saves its report; the same test program, as
// uid 1000 (windowAsUser), opens the window, asks for full access and gets the
// helper started as root by a stand-in pkexec (tests/support/fake_pkexec.py).
// The window then shows what root saw, and the helper ends with the window;
// with the prompt cancelled it shows the sysfs data and says so once.
#include <QPushButton>
#include <QtTest>

#include "TestSupport.h"
#include "app/MainWindow.h"
#include "app/Resources.h"
#include "app/widgets/DriveSelection.h"
#include "platform/linux/LinuxBackend.h"
#include "report/Report.h"

#include <unistd.h>

using namespace Applications::DriveScope;
using Services::Nodes::Backend;

namespace {
const QString fakePkexec = QStringLiteral(TESTS_DIR "/support/fake_pkexec.py");

// The shown drive as the window saves it (the report tool's JSON).
QJsonObject saved(MainWindow &window, const QString &file)
{
    QString error;
    if (!window.saveReport(file, false, true, &error))
        return QJsonObject{{"error", error}};
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll())["drives"][0].toObject() : QJsonObject();
}
} // namespace

class TestFullAccess : public QObject {
    Q_OBJECT

private slots:
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
        QCOMPARE(TestSupport::run("truncate", {"-s", "16M", image}).exitCode, 0);
        QCOMPARE(TestSupport::run("sfdisk", {"-q", image}, {}, "label: gpt\n,4M\n,\n").exitCode, 0);
        const TestSupport::Run bound = TestSupport::run("losetup", {"-f", "--show", image});
        const QString loop = bound.out.trimmed();
        if (bound.exitCode != 0)
            QSKIP("no loop device can be bound here");
        const auto detach = qScopeGuard([&] { TestSupport::run("losetup", {"-d", loop}); });

        Backend::install(Services::Nodes::Linux::createBackend());
        QString out, err;
        QTextStream o(&out), e(&err);
        QCOMPARE(runReport({"--drive", loop, "--json"}, o, e), 0);
        const QJsonObject asRoot = QJsonDocument::fromJson(out.toUtf8())["drives"][0].toObject();

        const QString bin = dir.filePath("bin");
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(QFile::link(fakePkexec, bin + "/pkexec"));
        const QString socket = dir.filePath("pkexec.socket");
        QProcess broker;
        broker.start("/usr/bin/python3", {fakePkexec, "--broker", socket, "1"});
        while (!cancel && !broker.canReadLine() && broker.waitForReadyRead(60000)) {
        }
        QVERIFY2(cancel || broker.readLine() == "ready\n", broker.readAllStandardError().constData());

        QStringList env{"HOME=" + dir.path(),
                        "PATH=" + bin + ":/usr/bin:/bin",
                        "QT_QPA_PLATFORM=offscreen",
                        "DRIVESCOPE_HELPER=" BUILD_DIR "/helper/drivescope-helper",
                        "FAKE_PKEXEC_SOCKET=" + socket,
                        "DRIVESCOPE_AS_USER=/devices/block/" + loop.mid(5),
                        "DRIVESCOPE_EXPECTED=" + QJsonDocument(asRoot).toJson(QJsonDocument::Compact)};
        if (cancel)
            env << "FAKE_PKEXEC_CANCEL=1";
        const QStringList user{"--reuid=1000", "--regid=1000", "--clear-groups", "env", "-i"};
        const TestSupport::Run said = TestSupport::run(
            "setpriv", user + env + QStringList{QCoreApplication::applicationFilePath(), "windowAsUser"});
        QVERIFY2(said.exitCode == 0, qPrintable(said.out + said.err));
        // The broker ends once the helper it started has ended: the helper did
        // not outlive the window.
        if (!cancel)
            QVERIFY(broker.waitForFinished(60000) && broker.exitCode() == 0);
        broker.kill();
        broker.waitForFinished();
    }

    // Run by asUnprivilegedUser as uid 1000; skipped otherwise.
    void windowAsUser()
    {
        const QString path = qEnvironmentVariable("DRIVESCOPE_AS_USER");
        if (path.isEmpty())
            QSKIP("run by asUnprivilegedUser");
        QVERIFY(::geteuid() != 0);
        const QJsonObject asRoot = QJsonDocument::fromJson(qgetenv("DRIVESCOPE_EXPECTED")).object();
        QVERIFY(!asRoot.isEmpty());
        QTemporaryDir dir;

        initResources();
        Backend::install(Services::Nodes::Linux::createBackend());
        {
            MainWindow window;
            window.show();
            auto *list = window.findChild<Libraries::Widgets::DriveSelection::Widget *>("driveselect");
            auto *button = window.findChild<QPushButton *>("btnFullAccess");
            QVERIFY(list && button && button->isVisible());
            QSignalSpy shown(&window, &MainWindow::driveShown);
            QTRY_VERIFY(list->modelIndexForNode(path).isValid());
            QVERIFY(list->select(path));
            QVERIFY(shown.count() > 0 || shown.wait(60000));
            const QJsonObject alone = saved(window, dir.filePath("alone.json"));
            QVERIFY(alone != asRoot);

            shown.clear();
            button->click();
            QVERIFY(shown.wait(60000));
            const QJsonObject through = saved(window, dir.filePath("through.json"));
            if (qEnvironmentVariableIsSet("FAKE_PKEXEC_CANCEL")) {
                QCOMPARE(through, alone);
                QCOMPARE(window.sourceNotice().count("not granted"), 1);
                QTRY_VERIFY(button->isVisible() && button->isEnabled());
            } else {
                QCOMPARE(through, asRoot);
                QVERIFY(!window.sourceNotice().contains("helper"));
                QTRY_VERIFY(!button->isVisible());
            }
        }
        // The window has closed: the helper's input closes with the backend.
        Backend::install(nullptr);
    }
};

QTEST_MAIN(TestFullAccess)
#include "tst_fullaccess.moc"
