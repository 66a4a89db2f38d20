// The demo ATA drives of the simulated machine decode as the drives they
// pretend to be, and the committed blobs are what the generator makes.
#include "AtaFixtures.h"
#include "TestSupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace {

QByteArray blob(const QString &name)
{
    QFile f(QStringLiteral(SOURCE_DIR "/examples/nodes/blobs/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestAtaDemo : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void drives_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"demo-ssd", "demo-pata", "demo-cf", "demo-failing"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void drives()
    {
        QFETCH(QString, name);
        const QByteArray identify = blob(name + ".identify.bin");
        QCOMPARE(identify.size(), 512);
        COMPARE_GOLDEN("ata/" + name + ".txt",
                       AtaFixtures::driveText(identify, blob(name + ".attributes.bin"), name != "demo-failing"));
    }

    void fragmentNamesTheBlobs()
    {
        QFile f(QStringLiteral(SOURCE_DIR "/examples/nodes/demo/ata.json"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonObject nodes = QJsonDocument::fromJson(f.readAll()).object().value("nodes").toObject();
        QCOMPARE(nodes.size(), 4);
        int unhealthy = 0;
        for (const QJsonValue &node : nodes) {
            const QJsonObject properties = node.toObject().value("properties").toObject();
            QCOMPARE(properties.value("ATA_SMART_ENABLED").toObject().value("int").toInt(), 1);
            unhealthy += properties.value("ATA_SMART_STATUS").toInt() == 0;
            const QJsonObject sets = node.toObject().value("sets").toObject();
            for (const char *set : {"ATA_IDENTIFY", "ATA_SMART_ATTRIBUTES"}) {
                const QString file = sets.value(set).toObject().value("file").toString();
                QVERIFY2(QFile::exists(QStringLiteral(SOURCE_DIR "/examples/nodes/demo/") + file), qPrintable(file));
            }
        }
        QCOMPARE(unhealthy, 1);
    }

    void blobsAreUpToDate()
    {
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty())
            QSKIP("python3 is not installed.");
        QProcess run;
        run.start(python, {QStringLiteral(SOURCE_DIR "/tools/demo/make_ata_blobs.py"), QStringLiteral("--check")});
        QVERIFY(run.waitForFinished(60000));
        QVERIFY2(run.exitCode() == 0, run.readAllStandardError().constData());
    }
};

QTEST_MAIN(TestAtaDemo)
#include "tst_ata_demo.moc"
