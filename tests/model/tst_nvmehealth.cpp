// The NVMe health log: pages decoded into the NVMe tab's HEALTH INFORMATION
// rows and the verdict, compared with tests/expected/nvme-health/<case>.txt.
#include <QtTest>

#include "TestSupport.h"
#include "model/NVMe.h"
#include "model/NvmeHealth.h"
#include "model/SmartStatus.h"
#include "platform/StringUtil.h"

using namespace Applications::DriveScope;
using namespace Applications::DriveScope::Model;

namespace {

// A 512-byte page: zeros, then the given bytes at their offsets.
QByteArray page(const QList<QPair<int, QByteArray>> &fields)
{
    QByteArray p(512, '\0');
    for (const auto &[offset, bytes] : fields)
        p.replace(offset, bytes.size(), bytes);
    return p;
}

QByteArray le(quint64 value, int bytes)
{
    QByteArray b(bytes, '\0');
    for (int i = 0; i < bytes && i < 8; ++i)
        b[i] = char(value >> (8 * i));
    return b;
}

} // namespace

class TestNvmeHealth : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        StringUtil::resetFormatting();
        TestSupport::MemoryBackend::install();
    }

    void pages_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::newRow("typical") << page({{0, le(0, 1)},
                                          {1, le(311, 2)},
                                          {3, le(100, 1)},
                                          {4, le(10, 1)},
                                          {5, le(3, 1)},
                                          {32, le(1234567, 16)},
                                          {48, le(7654321, 16)},
                                          {64, le(312455120, 16)},
                                          {80, le(268003914, 16)},
                                          {96, le(1024, 16)},
                                          {112, le(612, 16)},
                                          {128, le(3907, 16)},
                                          {144, le(41, 16)},
                                          {176, le(12, 16)},
                                          {192, le(7, 4)},
                                          {196, le(1, 4)},
                                          {200, le(311, 2)},
                                          {204, le(300, 2)}});
        QTest::newRow("all-warning-bits") << page({{0, le(0x3F, 1)}, {1, le(350, 2)}, {3, le(50, 1)}, {4, le(10, 1)}});
        QTest::newRow("reserved-warning-bits") << page({{0, le(0xC0, 1)}, {3, le(100, 1)}});
        // 2^64 + 1 data units, 2^128 - 1 commands.
        QTest::newRow("beyond-64-bits") << page(
            {{32, le(1, 8) + le(1, 8)}, {64, QByteArray(16, '\xFF')}, {128, le(0, 8) + le(2, 8)}});
        QTest::newRow("spare-below-threshold") << page({{3, le(5, 1)}, {4, le(10, 1)}, {216, le(999, 2)}});
    }
    void pages()
    {
        QFETCH(QByteArray, log);
        const std::optional<NvmeHealth> health = decodeNvmeHealth(log);
        QVERIFY(health);
        NVMe model(nullptr, QStringLiteral("/none"), health);
        const QString shown = TestSupport::shownText(model);
        const qsizetype group = shown.indexOf(QStringLiteral("[HEALTH INFORMATION]\n"));
        QVERIFY(group > 0);
        COMPARE_GOLDEN(QStringLiteral("nvme-health/%1.txt").arg(QTest::currentDataTag()),
                       shown.mid(group) + QStringLiteral("verdict: ") + nvmeHealthVerdict(health).text + '\n');
    }

    void shortPage()
    {
        QVERIFY(!decodeNvmeHealth(QByteArray(511, '\0')));
        QVERIFY(!decodeNvmeHealth(QByteArray()));
        QCOMPARE(nvmeHealthVerdict(std::nullopt).text, QStringLiteral("Health not available"));
        const NVMe model(nullptr, QStringLiteral("/none"));
        QCOMPARE(model.rowCount(), 2); // no HEALTH INFORMATION group without a log
    }
};

QTEST_GUILESS_MAIN(TestNvmeHealth)
#include "tst_nvmehealth.moc"
