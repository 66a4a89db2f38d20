// The report's Prometheus metrics: accepted by promtool, served by a real
// node_exporter, equal to the JSON report of the same machine, and a file
// that readers only ever see whole.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QtTest>
#include <atomic>
#include <thread>

#include "platform/linux/LinuxBackend.h"
#include "platform/sim/SimBackend.h"
#include "report/Metrics.h"
#include "report/Report.h"

using namespace Applications::DriveScope;

namespace {

const QString Demo = QStringLiteral(SOURCE_DIR "/examples/nodes/demo.json");
const QString Fleet = QStringLiteral(TESTS_DIR "/data/metrics/fleet.json");

struct Run {
    int status;
    QString out, err;
};

// The report over the node tree `tree`; this machine when it is empty.
Run report(const QString &tree, const QStringList &args)
{
    Services::Nodes::Backend::install(tree.isEmpty() ? Services::Nodes::Linux::createBackend()
                                                     : Services::Nodes::Sim::createBackend(tree));
    QString out, err;
    QTextStream o(&out), e(&err);
    const int status = runReport(args, o, e);
    return {status, out, err};
}

struct Sample {
    QString name;
    QMap<QString, QString> labels;
    QString value;
};

// The samples of an exposition, label values unescaped.
QList<Sample> samples(const QString &text)
{
    QList<Sample> list;
    for (const QString &line : text.split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith('#'))
            continue;
        Sample s;
        int i = 0;
        while (i < line.size() && line[i] != '{' && line[i] != ' ')
            s.name += line[i++];
        while (i < line.size() && line[i] != ' ') {
            const int eq = line.indexOf('=', i + 1);
            const QString key = line.mid(i + 1, eq - i - 1);
            QString value;
            for (i = eq + 2; line[i] != '"'; ++i)
                value += line[i] == '\\' ? (line[++i] == 'n' ? QChar('\n') : line[i]) : line[i];
            s.labels[key] = value;
            ++i; // past the quote, at ',' or '}'
            if (line[i] == '}')
                ++i;
        }
        s.value = line.mid(i + 1);
        list << s;
    }
    return list;
}

// Values of one metric by drive (and attribute id, when it has one).
QMap<QString, QString> byDrive(const QList<Sample> &list, const QString &name)
{
    QMap<QString, QString> values;
    for (const Sample &s : list)
        if (s.name == name)
            values[s.labels["drive"] + (s.labels.contains("id") ? "#" + s.labels["id"] : QString())] = s.value;
    return values;
}

// The exit code and output of a program fed `input`; -1 when it cannot run.
QPair<int, QString> execute(const QString &program, const QStringList &args, const QByteArray &input = {})
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted())
        return {-1, program + " cannot run"};
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return {p.exitCode(), p.readAllStandardOutput() + p.readAllStandardError()};
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
    void promtoolAccepts_data();
    void promtoolAccepts();
    void expectedOutput();
    void sameValuesAsJson_data();
    void sameValuesAsJson();
    void nodeExporterServesTheFile();
    void readersSeeWholeFiles();
    void refusesLinksAndFolders_data();
    void refusesLinksAndFolders();
    void alertRules();
};

void TestMetrics::promtoolAccepts_data()
{
    QTest::addColumn<QString>("tree");
    QTest::newRow("demo machine") << Demo;
    QTest::newRow("fleet fixture") << Fleet;
    QTest::newRow("this machine") << QString();
    QTest::newRow("snapshot of this machine") << QStringLiteral("snapshot");
}

void TestMetrics::promtoolAccepts()
{
    QFETCH(QString, tree);
    if (QStandardPaths::findExecutable("promtool").isEmpty())
        QSKIP("promtool is not installed (Debian package prometheus)");
    QTemporaryDir dir;
    if (tree == QLatin1String("snapshot")) {
        tree = dir.filePath("machine.json");
        QCOMPARE(report(QString(), {"--snapshot", tree, "--redact"}).status, 0);
    }
    const Run run = report(tree, {"--prometheus"});
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.contains("\ndrivescope_report_duration_seconds "));
    const auto [status, said] = execute("promtool", {"check", "metrics"}, run.out.toUtf8());
    QVERIFY2(status == 0, qPrintable(said + run.out));
}

// Every family, escaping, NVMe health with a counter beyond 64 bits, a drive
// that lists an attribute twice, a sleeping drive and one that cannot be read.
void TestMetrics::expectedOutput()
{
    const Run run = report(Fleet, {"--prometheus", "--redact"});
    QCOMPARE(run.status, 0);
    QFile expected(TESTS_DIR "/expected/metrics/fleet.prom");
    if (qEnvironmentVariableIsSet("DRIVESCOPE_UPDATE_EXPECTED")) {
        QVERIFY(expected.open(QIODevice::WriteOnly));
        expected.write(withoutDuration(run.out));
        expected.close();
    }
    QVERIFY(expected.open(QIODevice::ReadOnly));
    QCOMPARE(withoutDuration(run.out), expected.readAll());
}

void TestMetrics::sameValuesAsJson_data()
{
    QTest::addColumn<QString>("tree");
    QTest::newRow("demo machine") << Demo;
    QTest::newRow("fleet fixture") << Fleet;
}

// Each drive's values against its JSON entry: identity, size, S.M.A.R.T.
// rows and verdict, partitions.
void TestMetrics::sameValuesAsJson()
{
    QFETCH(QString, tree);
    const QList<Sample> metrics = samples(report(tree, {"--prometheus"}).out);
    const QJsonArray drives =
        QJsonDocument::fromJson(report(tree, {"--all", "--json"}).out.toUtf8()).object()["drives"].toArray();
    QVERIFY(drives.size() > 3);
    const auto scrapeError = byDrive(metrics, "drivescope_scrape_error");
    const auto supported = byDrive(metrics, "drivescope_drive_supported");
    const auto size = byDrive(metrics, "drivescope_drive_size_bytes");
    const auto healthy = byDrive(metrics, "drivescope_smart_healthy");
    const auto partitions = byDrive(metrics, "drivescope_partitions");
    QMap<QString, QMap<QString, QString>> info;
    for (const Sample &s : metrics)
        if (s.name == "drivescope_drive_info")
            info[s.labels["drive"]] = s.labels;
    const char *const attributeMetrics[] = {"drivescope_smart_attribute_value", "drivescope_smart_attribute_worst",
                                            "drivescope_smart_attribute_threshold"};
    int attributes = 0;

    for (const QJsonValue &d : drives) {
        const QJsonObject drive = d.toObject();
        const QString path = drive["path"].toString();
        const QJsonObject tabs = drive["tabs"].toObject();
        QCOMPARE(scrapeError[path], drive.contains("error") ? "1" : "0");
        QCOMPARE(supported[path], drive["supported"].toBool() ? "1" : "0");
        if (drive.contains("error"))
            continue;
        QMap<QString, QString> general;
        for (const QJsonValue &row : tabs["General"].toObject()["rows"].toArray()) {
            const QString value = row["value"].toVariant().toString();
            if (!value.startsWith('<')) // placeholders such as "<NA>"
                general[row["label"].toString()] = value;
        }
        QCOMPARE(info[path]["serial"], general.value("SERIAL"));
        const QString bytes =
            general.contains("BLOCKS")
                ? QString::number(general["BLOCKS"].toULongLong() * general["BLOCKSIZE"].toULongLong())
                : QString();
        QCOMPARE(size.value(path), bytes);

        const QJsonObject smart = tabs["S.M.A.R.T."].toObject();
        const QString verdict = smart["verdict"].toString();
        if (verdict == "ok" || verdict == "error")
            QCOMPARE(healthy.value(path), verdict == "ok" ? "1" : "0");
        else if (!tabs["NVMe"].toObject()["enabled"].toBool())
            QVERIFY2(!healthy.contains(path), qPrintable(path));
        QSet<QString> ids;
        for (const QJsonValue &row : smart["rows"].toArray()) {
            const QJsonArray cells = row.toArray();
            const QString key =
                path + "#" + QString::number(cells[0].toString().remove(QChar('h')).toUInt(nullptr, 16));
            if (ids.contains(key) || key.endsWith("#0"))
                continue; // metrics keep the first record of an id
            ids << key;
            for (int i = 0; i < 3; ++i)
                QCOMPARE(byDrive(metrics, attributeMetrics[i]).value(key), cells[2 + i].toVariant().toString());
            QCOMPARE(byDrive(metrics, "drivescope_smart_attribute_raw").value(key),
                     QString::number(cells[5].toString().remove(' ').toULongLong(nullptr, 16)));
            ++attributes;
        }

        // The table's count; a file system on the whole disk is no partition
        // to the metrics, which do not probe for one.
        QMap<QString, QString> table;
        for (const QJsonValue &row : tabs["Partitions"].toObject()["rows"].toArray())
            table[row["label"].toString()] = row["value"].toVariant().toString();
        if (table["PARTITION TABLE TYPE"] != "SUPERFLOPPY")
            QCOMPARE(partitions.value(path), table.value("PARTITIONS"));
    }
    QVERIFY(attributes >= 3);
}

void TestMetrics::nodeExporterServesTheFile()
{
    const QString exporter = QStandardPaths::findExecutable("prometheus-node-exporter");
    if (exporter.isEmpty())
        QSKIP("node_exporter is not installed (Debian package prometheus-node-exporter)");
    QTemporaryDir dir;
    QFile both(dir.filePath("machine.json"));
    QVERIFY(both.open(QIODevice::WriteOnly));
    both.write(QJsonDocument(QJsonObject{{"include", QJsonArray{Demo, Fleet}}}).toJson());
    both.close();
    QVERIFY(QDir(dir.path()).mkdir("textfile"));
    QCOMPARE(report(both.fileName(), {"--prometheus", dir.filePath("textfile/drivescope.prom")}).status, 0);

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

    QCOMPARE(byDrive(samples(page), "drivescope_smart_healthy").value("/devices/sata/demo-failing"), "0");
    QCOMPARE(byDrive(samples(page), "drivescope_nvme_temperature_celsius").value("/devices/nvme/nvme1n1"), "38");
    QVERIFY(page.contains(R"(drivescope_drive_info{device="sdb",drive="/devices/sas/sdb",firmware="E004",)"
                          R"(interface="scsi",model="Halden HS12000S",serial="ZHS0K7QM",type="SAS"} 1)"));
    QVERIFY(page.contains("node_textfile_scrape_error 0"));
}

void TestMetrics::readersSeeWholeFiles()
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

void TestMetrics::refusesLinksAndFolders_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message");
    QTest::newRow("link to a file") << "link.prom"
                                    << "is not a regular file";
    QTest::newRow("dangling link") << "dangling.prom"
                                   << "is not a regular file";
    QTest::newRow("folder") << "folder.prom"
                            << "is not a regular file";
    QTest::newRow("missing folder") << "missing/drivescope.prom"
                                    << "No such file or directory";
}

// Nothing is written through a link, none is replaced, nothing is left behind.
void TestMetrics::refusesLinksAndFolders()
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
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System), before);
    QVERIFY(real.open(QIODevice::ReadOnly));
    QCOMPARE(real.readAll(), "kept\n");
    QVERIFY(QFileInfo(dir.filePath("link.prom")).isSymLink());
}

void TestMetrics::alertRules()
{
    if (QStandardPaths::findExecutable("promtool").isEmpty())
        QSKIP("promtool is not installed (Debian package prometheus)");
    const auto [status, said] =
        execute("promtool", {"check", "rules", SOURCE_DIR "/examples/prometheus/drivescope.rules.yml"});
    QVERIFY2(status == 0, qPrintable(said));
}

QTEST_GUILESS_MAIN(TestMetrics)
#include "tst_metrics.moc"
