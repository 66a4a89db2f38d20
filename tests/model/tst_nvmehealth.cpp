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

// A 512-byte page: zeros, then "offset=value/bytes" fields (one byte when no
// length is given), little-endian as the log has them.
QByteArray page(const char *fields)
{
    QByteArray p(512, '\0');
    for (const QString &f : QString::fromLatin1(fields).split(' ')) {
        const quint64 value = f.section('=', 1).section('/', 0, 0).toULongLong(nullptr, 0);
        const int bytes = f.contains('/') ? f.section('/', 1).toInt() : 1;
        for (int i = 0; i < bytes && i < 8; ++i)
            p[f.section('=', 0, 0).toInt() + i] = char(value >> (8 * i));
    }
    return p;
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
        QTest::newRow("typical") << page("1=311/2 3=100 4=10 5=3 32=1234567/16 48=7654321/16 64=312455120/16 "
                                         "80=268003914/16 96=1024/16 112=612/16 128=3907/16 144=41/16 176=12/16 "
                                         "192=7/4 196=1/4 200=311/2 204=300/2");
        QTest::newRow("all-warning-bits") << page("0=0x3F 1=350/2 3=50 4=10");
        QTest::newRow("reserved-warning-bits") << page("0=0xC0 3=100");
        // 2^64 + 1 data units, 2^128 - 1 commands.
        QTest::newRow("beyond-64-bits") << page(
            "32=1/8 40=1/8 64=0xFFFFFFFFFFFFFFFF/8 72=0xFFFFFFFFFFFFFFFF/8 136=2/8");
        QTest::newRow("spare-below-threshold") << page("3=5 4=10 216=999/2");
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
    }
};

QTEST_GUILESS_MAIN(TestNvmeHealth)
#include "tst_nvmehealth.moc"
