// The demo ATA drives of the simulated machine decode as the drives they
// pretend to be, and the committed blobs are what the generator makes.
#include "AtaFixtures.h"

#include "model/Ata.h"
#include "model/AtaStatus.h"
#include "model/SmartRecords.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace Applications::DriveScope::Model;
using AtaFixtures::rowValue;

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
        QTest::addColumn<QString>("standard");
        QTest::addColumn<bool>("cfa");
        QTest::addColumn<QString>("sectors48");
        QTest::addColumn<QString>("ultraDma");
        QTest::addColumn<int>("attributes");
        QTest::newRow("SATA SSD") << "demo-ssd"
                                  << "ATA-8 ACS-3" << false << "1,000,215,216"
                                  << "6" << 15;
        QTest::newRow("IDE disk") << "demo-pata"
                                  << "ATA/ATAPI-6" << false << "n/a"
                                  << "5" << 15;
        QTest::newRow("CompactFlash") << "demo-cf"
                                      << "Unknown" << true << QString() << QString() << 6;
        QTest::newRow("failing disk") << "demo-failing"
                                      << "ATA-8 ACS" << false << "1,953,525,168"
                                      << "6" << 22;
    }
    void drives()
    {
        QFETCH(QString, name);
        const QByteArray identify = blob(name + ".identify.bin");
        QCOMPARE(identify.size(), 512);
        QCOMPARE(checksumVerdict(identify).verdict, Verdict::Ok);
        const Ata ata(identify);
        QTEST(ata.standardText(), "standard");
        QTEST(ata.isCompactFlash(), "cfa");
        QTEST(rowValue(ata, "Disk geometry", "Number of user addressable sectors (48-bit)").toString(), "sectors48");
        QTEST(rowValue(ata, "Mode support", "Selected Ultra DMA modes").toString(), "ultraDma");
        bool ok = false;
        const QList<SmartAttribute> attributes = decodeSmartRecords(blob(name + ".attributes.bin"), &ok);
        QVERIFY(ok);
        QTEST(int(attributes.size()), "attributes");
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
