// The demo ATA drives of the simulated machine decode as the drives they
// pretend to be, and the committed blobs are what the generator makes.
#include "AtaFixtures.h"
#include "TestSupport.h"

#include <QtTest>

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
