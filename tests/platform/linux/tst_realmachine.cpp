// The report of the machine the tests run on: every virtio disk is listed with
// its size, and its PCI tab names the function lspci shows, with the same ids and names.
#include <QtTest>

#include "TestSupport.h"
#include "platform/linux/LinuxBackend.h"
#include "report/Report.h"

using namespace Services::Nodes;

namespace {
QString rowValue(const QJsonObject &drive, const QString &tab, const QString &label, const char *field = "value")
{
    for (const QJsonValue &row : drive["tabs"][tab]["rows"].toArray()) {
        if (!row["header"].toBool() && row["label"].toString() == label)
            return row[field].toString();
    }
    return QString();
}

// "00h" -> 0, "1AF4h" -> 0x1af4; -1 when it is not such a number.
int hexValue(const QString &text)
{
    bool ok = false;
    const int v = text.endsWith('h') ? text.chopped(1).toInt(&ok, 16) : -1;
    return ok ? v : -1;
}
} // namespace

class TestRealMachine : public QObject {
    Q_OBJECT
private slots:
    void virtioDisksWithPciIds()
    {
        const QString lspci = QStandardPaths::findExecutable("lspci");
        if (lspci.isEmpty())
            QSKIP("lspci (package pciutils) is not installed");
        Backend::install(Linux::createBackend());
        QString out, err;
        QTextStream o(&out), e(&err);
        QCOMPARE(Applications::DriveScope::runReport({"--all", "--json"}, o, e), 0);
        int virtio = 0;
        for (const QJsonValue &d : QJsonDocument::fromJson(out.toUtf8())["drives"].toArray()) {
            const QJsonObject drive = d.toObject();
            const QString name = drive["path"].toString().section('/', -1);
            if (!name.startsWith("vd"))
                continue;
            ++virtio;
            QFile size("/sys/block/" + name + "/size");
            QVERIFY(size.open(QIODevice::ReadOnly));
            QCOMPARE(rowValue(drive, "General", "TYPE"), QString("VIRTUAL"));
            QCOMPARE(rowValue(drive, "General", "BLOCKS").toULongLong() *
                         rowValue(drive, "General", "BLOCKSIZE").toULongLong(),
                     size.readAll().trimmed().toULongLong() * 512);
            QVERIFY(!rowValue(drive, "General", "SIZE").isEmpty());

            QVERIFY2(drive["tabs"]["PCI"]["enabled"].toBool(), qPrintable(name));
            const QString address =
                QString::asprintf("%04x:%02x:%02x.%x", hexValue(rowValue(drive, "PCI", "SEGMENT")),
                                  hexValue(rowValue(drive, "PCI", "BUS")), hexValue(rowValue(drive, "PCI", "DEVICE")),
                                  hexValue(rowValue(drive, "PCI", "FUNCTION")));
            // 0000:00:02.0 "class" "vendor" "device" -r01 -p00 "subsystem vendor" "subsystem device",
            // with -n as hexadecimal ids.
            const QStringList ids = TestSupport::run(lspci, {"-mm", "-n", "-D", "-s", address}).out.split('"');
            const QStringList names = TestSupport::run(lspci, {"-mm", "-D", "-s", address}).out.split('"');
            QVERIFY2(ids.size() >= 6 && names.size() >= 6,
                     qPrintable(name + " at " + address + " is not known to lspci"));
            QCOMPARE(ids[0].trimmed(), address);
            QCOMPARE(hexValue(rowValue(drive, "PCI", "CLASSCODE")) >> 8, ids[1].toInt(nullptr, 16));
            QCOMPARE(hexValue(rowValue(drive, "PCI", "VENDOR")), ids[3].toInt(nullptr, 16));
            QCOMPARE(hexValue(rowValue(drive, "PCI", "PRODUCT")), ids[5].toInt(nullptr, 16));
            QCOMPARE(rowValue(drive, "PCI", "VENDOR", "detail"), names[3]);
            QCOMPARE(rowValue(drive, "PCI", "PRODUCT", "detail"), names[5]);
        }
        if (virtio == 0)
            QSKIP("this machine has no virtio disk");
    }
};

QTEST_GUILESS_MAIN(TestRealMachine)
#include "tst_realmachine.moc"
