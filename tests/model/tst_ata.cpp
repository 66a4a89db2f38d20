// The ATA tab model over synthetic IDENTIFY blocks (tests/data/ata/). Their
// decode is kept in tests/expected/ata/synthetic.txt: the whole decode of every
// standard level, and for each case the rows that differ from its level's decode.
#include "AtaFixtures.h"
#include "TestSupport.h"
#include "model/Roles.h"

#include "model/Ata.h"
#include "model/AtaStatus.h"

#include <QtTest>

using namespace Applications::DriveScope::Model;
using AtaFixtures::IdentifyBlock;
using AtaFixtures::rowValue;

namespace {

const QString general = QStringLiteral("General information");

// A block at the given level through its major version bit (1..11).
IdentifyBlock atLevel(int level)
{
    IdentifyBlock b;
    b.set(80, quint16(1u << level));
    return b;
}

// The block with only what selects the level and CompactFlash kept (w0, w80, w81, w83:2).
QByteArray base(const QByteArray &block)
{
    QByteArray b(512, '\0');
    for (int byte : {0, 1, 160, 161, 162, 163})
        b[byte] = block.size() > byte ? block[byte] : '\0';
    b[166] = char(block.size() > 166 ? block[166] & 0x04 : 0);
    return b;
}

QString verdictLine(const QByteArray &block)
{
    const Ata ata(block);
    const ChecksumVerdict checksum = checksumVerdict(block);
    return QStringLiteral("level %1, %2, compact flash %3, %4 (verdict %5)")
        .arg(ata.level())
        .arg(ataStandardLabel(&ata))
        .arg(ata.isCompactFlash() ? "yes" : "no")
        .arg(checksum.text)
        .arg(int(checksum.verdict));
}

struct Case {
    QString name;
    QByteArray block;
};

// The cases of tests/data/ata/identify-cases.txt (its head says how to read it).
QList<Case> cases()
{
    QFile file(QStringLiteral(TESTS_DIR "/data/ata/identify-cases.txt"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    static const QRegularExpression text(QStringLiteral("^text (\\d+) (\\d+) \"(.*)\"$"));
    QList<Case> out;
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith('#'))
            continue;
        IdentifyBlock b;
        for (const QString &token : line.section(QStringLiteral(": "), 1).split(QStringLiteral("; "))) {
            const auto t = text.match(token);
            if (t.hasMatch())
                b.text(t.captured(1).toInt(), t.captured(2).toInt(), t.captured(3).toLatin1());
            else if (token == QLatin1String("sign"))
                b.sign();
            else if (token.startsWith('L'))
                b.set(80, quint16(1u << token.mid(1).toInt()));
            else if (token.contains('='))
                b.set(token.section('=', 0, 0).toInt(), quint16(token.section('=', 1).toUInt(nullptr, 16)));
            else
                qFatal("unknown token %s", qPrintable(token));
        }
        out.append({line.section(QStringLiteral(": "), 0, 0), b.bytes()});
    }
    return out;
}

// Translates the IDENTIFY texts of the program's domain by key.
class KeyTranslator : public QTranslator {
public:
    QString translate(const char *context, const char *, const char *key, int) const override
    {
        static const QHash<QByteArray, QString> german{{"ata.id.gen.na", "k. A."}, {"ata.id.ata1.w10", "Seriennummer"}};
        return qstrcmp(context, "quill.drivescope") == 0 ? german.value(key) : QString();
    }
    bool isEmpty() const override { return false; }
};

} // namespace

class TestAta : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void decodes()
    {
        QStringList out;
        for (int level = 0; level <= 13; ++level) {
            // 0: no version at all; 13: CompactFlash
            const QByteArray block = level == 13 ? IdentifyBlock().set(0, 0x848A).bytes()
                                     : level     ? atLevel(level).bytes()
                                                 : QByteArray(512, '\0');
            out << QStringLiteral("=== base %1: ").arg(level) + verdictLine(block)
                << AtaFixtures::shownLines(Ata(block));
        }
        for (const Case &c : cases()) {
            const QStringList before = AtaFixtures::shownLines(Ata(base(c.block)));
            const QStringList after = AtaFixtures::shownLines(Ata(c.block));
            out << QStringLiteral("=== %1: ").arg(c.name) + verdictLine(c.block);
            for (const QString &line : after)
                if (!before.contains(line))
                    out << QStringLiteral("+ ") + line;
            for (const QString &line : before)
                if (!after.contains(line))
                    out << QStringLiteral("- ") + line;
        }
        COMPARE_GOLDEN("ata/synthetic.txt", out.join('\n') + '\n');
    }

    // A checksum over anything but 512 bytes is not checked (the verdicts of whole
    // blocks are in the decode).
    void checksumOfOtherSizes()
    {
        const QByteArray signedBlock = atLevel(8).text(27, 20, "MODEL").sign().bytes();
        for (const QByteArray &block : {signedBlock.left(511), signedBlock + '\0', QByteArray()})
            QCOMPARE(checksumVerdict(block).verdict, Verdict::Warning);
    }

    void edges()
    {
        QCOMPARE(ataStandardLabel(nullptr), QStringLiteral("ATA Standard: n/a"));
        const Ata shortBlock(QByteArray(100, '\xFF'));
        QCOMPARE(AtaFixtures::shownLines(shortBlock),
                 AtaFixtures::shownLines(Ata(QByteArray(100, '\xFF') + QByteArray(412, '\0'))));
        QCOMPARE(shortBlock.identify().size(), 100);
    }

    void followsLanguageChange()
    {
        const QByteArray block = IdentifyBlock().set(80, 0x0002).bytes();
        {
            KeyTranslator german;
            QCoreApplication::installTranslator(&german);
            const Ata translated(block);
            QCoreApplication::removeTranslator(&german);
            QCOMPARE(rowValue(translated, general, "Minor version number").toString(), QStringLiteral("k. A."));
            QVERIFY(rowValue(translated, general, "Seriennummer").isValid()); // the label is translated too
        }
        QCOMPARE(rowValue(Ata(block), general, "Minor version number").toString(), QStringLiteral("n/a"));
    }

    // Whatever a drive returns, every row gets a value and the frame holds.
    void arbitraryBlocks()
    {
        QRandomGenerator random(20261206);
        for (int i = 0; i < 400; ++i) {
            QByteArray block(512, '\0');
            for (char &c : block)
                c = char(random.bounded(256));
            if (i % 4 == 0) // keep the level low now and then, to reach the older rows
                block[161] = 0;
            const Ata ata(block);
            QVERIFY(ata.level() >= 0 && ata.level() <= 12);
            QCOMPARE(ata.rows().first().label, QStringLiteral("General information"));
            QCOMPARE(ata.rows().at(ata.headerRows().last()).label, QStringLiteral("Timings"));
            for (int header : ata.headerRows())
                QVERIFY(ata.rows().at(header).header);
            for (const AtaRow &row : ata.rows())
                QVERIFY2(!row.label.isEmpty() && (row.header || row.value.isValid()), qPrintable(row.label));
        }
    }

    void roles()
    {
        Ata ata(IdentifyBlock().set(0, 0x0010).text(27, 20, "DISK").set(80, 0x01F0).bytes());
        QAbstractItemModelTester tester(&ata, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // A section title spans the row: its value cell is empty but marked.
        QVERIFY(!ata.data(ata.index(0, 1)).isValid() && ata.data(ata.index(0, 1), Roles::TitleRow).toBool());
        QVERIFY(!ata.data(ata.index(1, 1), Roles::TitleRow).toBool());
    }
};

QTEST_MAIN(TestAta)
#include "tst_ata.moc"
