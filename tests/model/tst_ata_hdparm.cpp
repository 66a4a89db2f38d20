// Our decode of each real drive's IDENTIFY block against hdparm's own
// (`hdparm --Istdin`): identity, sector counts, feature sets and security. The
// rest of the decode is pinned by the reviewed goldens of tst_ata_realdrives.
#include "AtaFixtures.h"
#include "TestSupport.h"

#include "model/Ata.h"
#include "model/ata/Snapshot.h"

#include <QtTest>

using namespace Applications::DriveScope::Model;
using AtaFixtures::rowValue;

namespace {

// What hdparm printed, split into the parts compared here.
struct Hdparm {
    QString text;
    QMap<QString, bool> features; // name -> enabled ('*'); absent: not supported
    QMap<QString, bool> security; // "supported", "enabled", ... -> not prefixed by "not"

    QString field(const QString &pattern) const
    {
        const auto m = QRegularExpression(pattern, QRegularExpression::MultilineOption).match(text);
        return m.hasMatch() ? m.captured(1) : QString();
    }
};

QString findHdparm()
{
    return QStandardPaths::findExecutable(QStringLiteral("hdparm"), {"/usr/sbin", "/sbin"});
}

bool runHdparm(const QByteArray &identify, Hdparm &out)
{
    QStringList words;
    for (int i = 0; i < 256; ++i)
        words << QStringLiteral("%1").arg(quint8(identify[2 * i]) | quint8(identify[2 * i + 1]) << 8, 4, 16,
                                          QLatin1Char('0'));
    QProcess run;
    run.start(findHdparm(), {QStringLiteral("--Istdin")});
    run.write(words.join(' ').toLatin1() + '\n');
    run.closeWriteChannel();
    if (!run.waitForFinished(-1))
        return false;
    out.text = QString::fromLatin1(run.readAllStandardOutput());

    const qsizetype commands = out.text.indexOf(QLatin1String("Commands/features:"));
    const qsizetype security = out.text.indexOf(QLatin1String("Security:"));
    const QString featureText = out.text.mid(commands, security - commands);
    static const QRegularExpression feature(QStringLiteral(R"(^\t   ([* ])\t(.+)$)"),
                                            QRegularExpression::MultilineOption);
    for (auto it = feature.globalMatch(featureText); it.hasNext();) {
        const auto m = it.next();
        out.features.insert(m.captured(2).trimmed(), m.captured(1) == QLatin1String("*"));
    }
    static const QRegularExpression flag(
        QStringLiteral(R"(^\t(not)?\t(supported|enabled|locked|frozen|expired)\b(.*)$)"),
        QRegularExpression::MultilineOption);
    for (auto it = flag.globalMatch(out.text.mid(security)); it.hasNext();) {
        const auto m = it.next();
        const QString name = m.captured(2) + m.captured(3); // "supported: enhanced erase" stays apart
        out.security.insert(name, m.captured(1).isEmpty());
    }
    return true;
}

} // namespace

class TestAtaHdparm : public QObject {
    Q_OBJECT
    QString m_dir;

private slots:
    void initTestCase()
    {
        SHARED_DATA_OR_RETURN(dir, "ata-drives");
        m_dir = dir;
        if (findHdparm().isEmpty())
            QSKIP("hdparm is not installed.");
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void agree_data()
    {
        QTest::addColumn<QString>("drive");
        for (const QString &name : QDir(m_dir).entryList(QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name)) << name;
    }
    void agree()
    {
        QFETCH(QString, drive);
        AtaSnapshot snapshot;
        QString error;
        QVERIFY2(loadAtaSnapshot(m_dir + '/' + drive, &snapshot, &error), qPrintable(error));
        const Ata ata(snapshot.identify);
        Hdparm h;
        QVERIFY(runHdparm(snapshot.identify, h));
        QVERIFY2(h.text.contains(QLatin1String("Model Number:")), qPrintable(h.text));

        const QString general = QStringLiteral("General information");
        QCOMPARE(rowValue(ata, general, "Model number").toString(), h.field(R"(Model Number:\s+(.*?)\s*$)"));
        QCOMPARE(rowValue(ata, general, "Serial number").toString(), h.field(R"(Serial Number:\s+(.*?)\s*$)"));
        QCOMPARE(rowValue(ata, general, "Firmware revision").toString(), h.field(R"(Firmware Revision:  (.*)$)"));

        const QString queueDepth = h.field(R"(Queue depth: (\d+))");
        if (!queueDepth.isEmpty())
            QCOMPARE(rowValue(ata, general, "Maximum queue depth").toInt(), queueDepth.toInt());

        const QLocale locale;
        const QString geometry = QStringLiteral("Disk geometry");
        QCOMPARE(locale.toULongLong(rowValue(ata, geometry, "Number of user addressable sectors (28-bit)").toString()),
                 h.field(R"(^\s*LBA    user addressable sectors:\s+(\d+))").toULongLong());
        // hdparm prints the 48-bit count exactly when the drive supports 48-bit addresses.
        const QString lba48 = h.field(R"(^\s*LBA48  user addressable sectors:\s+(\d+))");
        const QString ours48 = rowValue(ata, geometry, "Number of user addressable sectors (48-bit)").toString();
        if (lba48.isEmpty())
            QCOMPARE(ours48, QStringLiteral("n/a"));
        else
            QCOMPARE(locale.toULongLong(ours48), lba48.toULongLong());

        // Feature and security rows as "label: value", ours against what hdparm says.
        QStringList ours, theirs;
        const auto compare = [&](const char *section, const char *label, const QString &expected) {
            ours << QStringLiteral("%1: %2").arg(QLatin1String(label), rowValue(ata, section, label).toString());
            theirs << QStringLiteral("%1: %2").arg(QLatin1String(label), expected);
        };
        // hdparm's name, and whether it marks the feature enabled too.
        const struct {
            const char *section, *label, *hdparm;
            bool hasEnabled;
        } features[] = {
            {"Capabilities", "Write Cache", "Write cache", true},
            {"Capabilities", "Look-Ahead", "Look-ahead", true},
            {"Feature sets", "S.M.A.R.T. Feature Set", "SMART feature set", true},
            {"Feature sets", "Security Feature Set", "Security Mode feature set", true},
            {"Feature sets", "Advanced power management feature set", "Advanced Power Management feature set", true},
            {"Feature sets", "Automatic Acoustic Management feature set", "Automatic Acoustic Management feature set",
             true},
            {"Feature sets", "48-bit Address feature set", "48-bit Address feature set", false},
        };
        for (const auto &f : features) {
            const auto it = h.features.constFind(QLatin1String(f.hdparm));
            compare(f.section, f.label,
                    it == h.features.cend()      ? QStringLiteral("-")
                    : f.hasEnabled && it.value() ? QStringLiteral("supported & enabled")
                                                 : QStringLiteral("supported"));
        }

        // hdparm leaves the security section out for drives without the feature set.
        const char *security = "Security status";
        if (!h.text.contains(QLatin1String("\nSecurity:"))) {
            compare(security, "Supported", QStringLiteral("no"));
        } else {
            for (const auto &[label, flag] : {std::pair{"Supported", "supported"},
                                              {"Enabled", "enabled"},
                                              {"Locked", "locked"},
                                              {"Frozen", "frozen"},
                                              {"Count expired", "expired: security count"}}) {
                QVERIFY2(h.security.contains(QLatin1String(flag)), flag);
                compare(security, label, h.security.value(QLatin1String(flag)) ? "yes" : "no");
            }
            compare(security, "Enhanced security erase",
                    h.security.value(QStringLiteral("supported: enhanced erase")) ? "supported" : "-");
            const QString level = h.field(R"(Security level (\w+))");
            compare(security, "Level", level.isEmpty() ? QStringLiteral("high") : level);
            const QString master = h.field(R"(Master password revision code = (\d+))");
            if (!master.isEmpty())
                compare(security, "Master password revision code",
                        QString::number(master.toUInt(), 16).toUpper().rightJustified(4, '0') + 'h');
        }
        QCOMPARE(ours, theirs);
    }
};

QTEST_MAIN(TestAtaHdparm)
#include "tst_ata_hdparm.moc"
