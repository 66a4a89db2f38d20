// The report's Prometheus metrics: accepted by promtool, served by a real
// node_exporter, pinned by goldens for the demo machine and a fleet, and a file
// that readers only ever see whole.
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QtTest>
#include <atomic>
#include <thread>

#include "TestSupport.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/sim/SimBackend.h"
#include "report/Metrics.h"
#include "report/Report.h"

using namespace Applications::DriveScope;

namespace {

const QString Demo = QStringLiteral(SOURCE_DIR "/examples/nodes/demo.json");
const QString Fleet = QStringLiteral(TESTS_DIR "/data/metrics/fleet.json");

using TestSupport::Run;

// The report over the node tree `tree`; this machine when it is empty.
Run report(const QString &tree, const QStringList &args)
{
    Services::Nodes::Backend::install(tree.isEmpty() ? Services::Nodes::Linux::createBackend()
                                                     : Services::Nodes::Sim::createBackend(tree));
    QString out, err;
    QTextStream o(&out), e(&err);
    const int status = runReport(args, o, e);
    return {status, 0, out, err};
}

QByteArray withoutDuration(QString text)
{
    static const QRegularExpression duration("^(drivescope_report_duration_seconds) \\S+$",
                                             QRegularExpression::MultilineOption);
    return text.replace(duration, "\\1 0").toUtf8();
}

} // namespace

class TestMetrics : public QObject {
    Q_OBJECT
private slots:
    void promtoolAccepts_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::newRow("demo machine") << Demo;
        QTest::newRow("fleet fixture") << Fleet;
        QTest::newRow("this machine") << QString();
        QTest::newRow("snapshot of this machine") << QStringLiteral("snapshot");
    }

    void promtoolAccepts()
    {
        QFETCH(QString, tree);
        if (QStandardPaths::findExecutable("promtool").isEmpty())
            QSKIP("promtool is not installed (Debian package prometheus)");
        QTemporaryDir dir;
        if (tree == QLatin1String("snapshot")) {
            tree = dir.filePath("machine.json");
            QCOMPARE(report(QString(), {"--snapshot", tree, "--redact"}).exitCode, 0);
        }
        const Run run = report(tree, {"--prometheus"});
        QCOMPARE(run.exitCode, 0);
        const TestSupport::Run check = TestSupport::run("promtool", {"check", "metrics"}, {}, run.out.toUtf8());
        QVERIFY2(check.exitCode == 0, qPrintable(check.out + check.err + run.out));
    }

    void expectedOutput_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QString>("expected");
        // The demo machine without its disk images, which a developer may or may not have made.
        QTest::newRow("demo machine") << TESTS_DIR "/data/report/demo-without-images.json"
                                      << "metrics/demo.prom";
        // Every family, escaping, NVMe health with a counter beyond 64 bits, a drive
        // that lists an attribute twice, a sleeping drive and one that cannot be read.
        QTest::newRow("fleet fixture") << Fleet << "metrics/fleet.prom";
    }

    void expectedOutput()
    {
        QFETCH(QString, tree);
        QFETCH(QString, expected);
        const Run run = report(tree, {"--prometheus", "--redact"});
        QCOMPARE(run.exitCode, 0);
        COMPARE_GOLDEN(expected, QString::fromUtf8(withoutDuration(run.out)));
    }

    void nodeExporterServesTheFile()
    {
        const QString exporter = QStandardPaths::findExecutable("prometheus-node-exporter");
        if (exporter.isEmpty())
            QSKIP("node_exporter is not installed (Debian package prometheus-node-exporter)");
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("textfile"));
        QCOMPARE(report(TESTS_DIR "/data/report/demo-and-fleet.json",
                        {"--prometheus", dir.filePath("textfile/drivescope.prom")})
                     .exitCode,
                 0);

        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        QProcess server;
        server.start(exporter, {QString("--web.listen-address=127.0.0.1:%1").arg(port), "--collector.disable-defaults",
                                "--collector.textfile", "--collector.textfile.directory=" + dir.filePath("textfile")});
        QVERIFY(server.waitForStarted());
        auto stop = qScopeGuard([&] {
            server.terminate();
            server.waitForFinished();
        });

        QNetworkAccessManager network;
        QString page;
        auto scrape = [&] {
            QNetworkReply *reply = network.get(QNetworkRequest(QUrl(QString("http://127.0.0.1:%1/metrics").arg(port))));
            QSignalSpy done(reply, &QNetworkReply::finished);
            done.wait(5000);
            page = QString::fromUtf8(reply->readAll());
            reply->deleteLater();
            return page.contains("drivescope_");
        };
        QTRY_VERIFY_WITH_TIMEOUT(scrape() || server.state() == QProcess::NotRunning, 20000);
        QVERIFY2(page.contains("drivescope_"), server.readAllStandardError().constData());

        // The exporter sorts the labels and gives every sample of a family the same ones.
        QVERIFY(page.contains(
            QRegularExpression(R"(\ndrivescope_smart_healthy{device="",drive="/devices/sata/demo-failing"} 0\n)")));
        QVERIFY(page.contains(QRegularExpression(
            R"(\ndrivescope_nvme_temperature_celsius{device="nvme1n1",drive="/devices/nvme/nvme1n1"} 38\n)")));
        QVERIFY(page.contains(R"(drivescope_drive_info{device="sdb",drive="/devices/sas/sdb",firmware="E004",)"
                              R"(interface="scsi",model="Halden HS12000S",serial="ZHS0K7QM",type="SAS"} 1)"));
        QVERIFY(page.contains("node_textfile_scrape_error 0"));
    }

    void readersSeeWholeFiles()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("drivescope.prom");
        const QByteArray contents[] = {QByteArray(300000, 'a') + '\n', QByteArray(200000, 'b') + '\n'};
        std::atomic<bool> done = false;
        QString error;
        std::thread writer([&] {
            for (int i = 0; i < 200 && error.isEmpty(); ++i)
                writeFileAtomically(file, contents[i % 2], &error);
            done = true;
        });
        int reads = 0, partial = 0;
        while (!done) {
            QFile f(file);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QByteArray got = f.readAll();
            ++reads;
            partial += got != contents[0] && got != contents[1];
        }
        writer.join();
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(reads > 0);
        QCOMPARE(partial, 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"drivescope.prom"});
    }

    void refusesLinksAndFolders_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("message");
        for (const char *target : {"link.prom", "dangling.prom", "folder.prom"})
            QTest::newRow(target) << target << "is not a regular file";
        QTest::newRow("missing folder") << "missing/drivescope.prom"
                                        << "No such file or directory";
    }

    // Nothing is written through a link, none is replaced, nothing is left behind.
    void refusesLinksAndFolders()
    {
        QFETCH(QString, target);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QFile real(dir.filePath("real.prom"));
        QVERIFY(real.open(QIODevice::WriteOnly));
        real.write("kept\n");
        real.close();
        QVERIFY(QFile::link(real.fileName(), dir.filePath("link.prom")));
        QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("dangling.prom")));
        QVERIFY(QDir(dir.path()).mkdir("folder.prom"));
        const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);

        const Run run = report(Fleet, {"--prometheus", dir.filePath(target)});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System), before);
        QVERIFY(real.open(QIODevice::ReadOnly));
        QCOMPARE(real.readAll(), "kept\n");
        QVERIFY(QFileInfo(dir.filePath("link.prom")).isSymLink());
    }

    void alertRules()
    {
        if (QStandardPaths::findExecutable("promtool").isEmpty())
            QSKIP("promtool is not installed (Debian package prometheus)");
        const TestSupport::Run check =
            TestSupport::run("promtool", {"check", "rules", SOURCE_DIR "/examples/prometheus/drivescope.rules.yml"});
        QVERIFY2(check.exitCode == 0, qPrintable(check.out + check.err));
    }
};

QTEST_GUILESS_MAIN(TestMetrics)
#include "tst_metrics.moc"
