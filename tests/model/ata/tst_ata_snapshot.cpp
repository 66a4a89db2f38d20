// The reader of ATA drive snapshot files: well-formed files, the merge of
// thresholds into the attribute records, and malformed files.
#include "model/SmartRecords.h"
#include "model/ata/Snapshot.h"

#include <QtTest>

#include "TestSupport.h"

using namespace Applications::DriveScope::Model;

namespace {

QByteArray section(const char *tag, const QByteArray &bytes)
{
    QByteArray out(tag, 4);
    const quint32 n = quint32(bytes.size());
    out.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
    return out + bytes;
}

const QByteArray identify(512, '\x11');

// A 512-byte page: revision word, then entries (id first) at 12-byte steps.
QByteArray page(const QList<QByteArray> &entries)
{
    QByteArray p(512, '\0');
    p[0] = 0x10;
    for (int i = 0; i < entries.size(); ++i)
        p.replace(2 + 12 * i, 12, entries[i].leftJustified(12, '\0'));
    return p;
}

using TestSupport::hex;

} // namespace

class TestAtaSnapshot : public QObject {
    Q_OBJECT
private slots:
    void wellFormed()
    {
        const QByteArray data = page(
            {hex("01 0F 00 64 63 01 02 03 04 05 06"), QByteArray(12, '\0'), hex("C2 22 00 2D 37 1D 00 00 00 00 00")});
        const QByteArray thresholds = page({hex("C2 0A"), hex("01 33")});
        const QByteArray file = section("IDFY", identify) + section("SMST", hex("00 00 00 01")) +
                                section("XTRA", "ignored") + section("SMDT", data) + section("SMTH", thresholds);
        AtaSnapshot s;
        QString error;
        QVERIFY2(parseAtaSnapshot(file, &s, &error), qPrintable(error));
        QCOMPARE(s.identify, identify);
        QCOMPARE(s.healthy, std::optional<bool>(true));
        QCOMPARE(s.attributeRecords.size(), 24); // the unused entry is left out
        bool ok = false;
        const QList<SmartAttribute> list = decodeSmartRecords(s.attributeRecords, &ok);
        QVERIFY(ok);
        // Thresholds matched by id, not by position.
        QCOMPARE(QList<quint64>({list[0].id, list[0].threshold, list[0].raw, list[1].id, list[1].threshold}),
                 QList<quint64>({0x01, 0x33, 0x060504030201, 0xC2, 0x0A}));
    }

    void optionalSections()
    {
        AtaSnapshot s;
        s.healthy = true;
        s.attributeRecords = "stale";
        QVERIFY(parseAtaSnapshot(section("IDFY", identify), &s, nullptr));
        QVERIFY(!s.healthy.has_value());
        QVERIFY(s.attributeRecords.isEmpty());

        QVERIFY(parseAtaSnapshot(section("IDFY", identify) + section("SMST", hex("00 00 00 00")), &s, nullptr));
        QCOMPARE(s.healthy, std::optional<bool>(false));

        // Without thresholds every threshold is 0.
        QVERIFY(
            parseAtaSnapshot(section("IDFY", identify) + section("SMDT", page({hex("05 00 00 64 64")})), &s, nullptr));
        QCOMPARE(s.attributeRecords, hex("05 00 00 64 64 00 00 00 00 00 00 00"));
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("message");
        const QByteArray good = section("IDFY", identify);
        QTest::newRow("empty") << QByteArray() << "No IDFY section.";
        QTest::newRow("no identify") << section("SMST", hex("00 00 00 01")) << "No IDFY section.";
        QTest::newRow("short header") << good + QByteArray("SMST\0\0", 6) << "Truncated section header at offset 520.";
        QTest::newRow("length past end") << good.left(300) << "claims 512 bytes but only 292 follow";
        QTest::newRow("huge length") << QByteArray("IDFY\xFF\xFF\xFF\xFF", 8) << "claims 4294967295 bytes";
        QTest::newRow("identify size") << section("IDFY", QByteArray(511, '\0')) << "IDFY section holds 511 bytes";
        QTest::newRow("twice") << good + good << "Section IDFY appears twice";
        QTest::newRow("status size") << good + section("SMST", "\x01") << "SMST section holds 1 bytes";
        QTest::newRow("short page") << good + section("SMDT", QByteArray(100, '\0')) << "SMDT section holds 100";
        QTest::newRow("short thresholds") << good + section("SMTH", QByteArray(361, '\0')) << "SMTH section holds 361";
    }
    void malformed()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        AtaSnapshot s;
        QString error;
        QVERIFY(!parseAtaSnapshot(file, &s, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
        QVERIFY(s.identify.isEmpty()); // nothing half-filled
        QVERIFY(!parseAtaSnapshot(file, nullptr, nullptr));
    }

    void files()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        AtaSnapshot s;
        QString error;
        QVERIFY(!loadAtaSnapshot(dir.filePath("missing"), &s, &error));
        QVERIFY2(error.contains("missing"), qPrintable(error));

        QFile big(dir.filePath("big"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        big.resize((1 << 20) + 1);
        big.close();
        QVERIFY(!loadAtaSnapshot(big.fileName(), &s, &error));
        QVERIFY2(error.contains("larger than"), qPrintable(error));
        // Files that load: the real drives' (tst_ata_realdrives).
    }
};

QTEST_MAIN(TestAtaSnapshot)
#include "tst_ata_snapshot.moc"
