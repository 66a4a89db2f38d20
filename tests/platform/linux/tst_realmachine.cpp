// The report of the machine the tests run on: every virtio disk is listed with
// its size, and its PCI tab names the function lspci shows, with the same ids and names.
#include <QtTest>

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
            const qulonglong bytes = size.readAll().trimmed().toULongLong() * 512;
            QCOMPARE(rowValue(drive, "General", "TYPE"), QString("VIRTUAL"));
            QCOMPARE(rowValue(drive, "General", "BLOCKS").toULongLong() *
                         rowValue(drive, "General", "BLOCKSIZE").toULongLong(),
                     bytes);
            QVERIFY(!rowValue(drive, "General", "SIZE").isEmpty());

            QVERIFY2(drive["tabs"]["PCI"]["enabled"].toBool(), qPrintable(name));
            const QString address =
                QString::asprintf("%04x:%02x:%02x.%x", hexValue(rowValue(drive, "PCI", "SEGMENT")),
                                  hexValue(rowValue(drive, "PCI", "BUS")), hexValue(rowValue(drive, "PCI", "DEVICE")),
                                  hexValue(rowValue(drive, "PCI", "FUNCTION")));
            QProcess p;
            p.start(lspci, {"-n", "-D", "-s", address});
            QVERIFY(p.waitForFinished());
            // "0000:00:02.0 0180: 1af4:1042 (rev 01)"
            static const QRegularExpression line("^([0-9a-f:.]+) ([0-9a-f]{4}): ([0-9a-f]{4}):([0-9a-f]{4})",
                                                 QRegularExpression::MultilineOption);
            const auto m = line.match(QString::fromLatin1(p.readAllStandardOutput()));
            QVERIFY2(m.hasMatch(), qPrintable(name + " at " + address + " is not known to lspci"));
            QCOMPARE(m.captured(1), address);
            QCOMPARE(hexValue(rowValue(drive, "PCI", "VENDOR")), m.captured(3).toInt(nullptr, 16));
            QCOMPARE(hexValue(rowValue(drive, "PCI", "PRODUCT")), m.captured(4).toInt(nullptr, 16));
            QCOMPARE(hexValue(rowValue(drive, "PCI", "CLASSCODE")) >> 8, m.captured(2).toInt(nullptr, 16));
            // The names beside the ids are the ones lspci prints:
            // 00:02.0 "class" "vendor" "device" -r01 -p00 "subsystem vendor" "subsystem device"
            p.start(lspci, {"-mm", "-s", address});
            QVERIFY(p.waitForFinished());
            const QStringList quoted = QString::fromUtf8(p.readAllStandardOutput()).split('"');
            QVERIFY(quoted.size() >= 6);
            QCOMPARE(rowValue(drive, "PCI", "VENDOR", "detail"), quoted[3]);
            QCOMPARE(rowValue(drive, "PCI", "PRODUCT", "detail"), quoted[5]);
        }
        if (virtio == 0)
            QSKIP("this machine has no virtio disk");
    }
};

QTEST_GUILESS_MAIN(TestRealMachine)
#include "tst_realmachine.moc"
