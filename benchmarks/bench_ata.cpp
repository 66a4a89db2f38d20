// Cost of one ATA drive for the window: decoding its IDENTIFY block into the
// ATA tab model and its 30 attribute records into the S.M.A.R.T. tab model.
#include "model/Ata.h"
#include "model/Smart.h"
#include "model/SmartRecords.h"
#include "model/ata/Snapshot.h"

#include <QTest>

using namespace Applications::DriveScope::Model;

namespace {

// A busy ACS-2 SATA disk: most sections present, every feature word populated.
QByteArray identifyBlock()
{
    QByteArray b(512, '\0');
    const auto set = [&b](int word, quint16 v) {
        b[2 * word] = char(v & 0xFF);
        b[2 * word + 1] = char(v >> 8);
    };
    const QByteArray model = QByteArray("BENCH DISK 2000").leftJustified(40, ' ');
    for (int i = 0; i < 20; ++i)
        set(27 + i, quint16(quint8(model[2 * i]) << 8 | quint8(model[2 * i + 1])));
    const quint16 words[][2] = {{0, 0x0040},   {49, 0x0F00},  {53, 0x0007},  {59, 0x0110},  {63, 0x0407},
                                {64, 0x0003},  {75, 0x001F},  {76, 0x070E},  {78, 0x004C},  {79, 0x0048},
                                {80, 0x03FE},  {81, 0x0110},  {82, 0x746B},  {83, 0x7D69},  {84, 0x6163},
                                {85, 0x7469},  {86, 0xBC49},  {87, 0x6163},  {88, 0x407F},  {89, 0x0050},
                                {106, 0x6003}, {108, 0x5000}, {109, 0xC500}, {110, 0x1234}, {111, 0x5678},
                                {119, 0x401E}, {128, 0x0021}, {168, 0x0002}, {217, 7200},   {222, 0x10FF}};
    for (const auto &w : words)
        set(w[0], w[1]);
    set(60, 0xFFFF);
    set(61, 0x0FFF);
    set(100, 0x6DB0);
    set(101, 0xE8E0);
    b[510] = char(0xA5);
    return b;
}

QByteArray attributeRecords()
{
    QByteArray records;
    for (int i = 0; i < 30; ++i) {
        QByteArray r(12, '\0');
        r[0] = char(i < 13 ? i + 1 : 0xB0 + i);
        r[3] = char(100);
        r[4] = char(99);
        r[5] = char(i * 7);
        r[11] = char(10);
        records.append(r);
    }
    return records;
}

} // namespace

class BenchAta : public QObject {
    Q_OBJECT
private slots:
    void identify()
    {
        const QByteArray block = identifyBlock();
        int rows = 0;
        QBENCHMARK
        {
            Ata ata(block);
            rows = ata.rowCount();
        }
        QVERIFY(rows > 100);
    }

    void attributes()
    {
        const QByteArray records = attributeRecords();
        int rows = 0;
        QBENCHMARK
        {
            Smart smart(decodeSmartRecords(records, nullptr), true);
            rows = smart.rowCount();
        }
        QCOMPARE(rows, 30);
    }

    // The whole drive, as the acquisition builds it.
    void drive()
    {
        const QByteArray block = identifyBlock();
        const QByteArray records = attributeRecords();
        QBENCHMARK
        {
            Ata ata(block);
            Smart smart(decodeSmartRecords(records, nullptr), true);
        }
    }
};

QTEST_MAIN(BenchAta)
#include "bench_ata.moc"
