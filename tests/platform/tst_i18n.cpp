// Translation by key: catalogue lookup per locale, the search folders, and the
// Qt translator that resolves QCoreApplication::translate for registered
// contexts; and size texts with the start-up prefixes and separators.
#include <QCoreApplication>
#include <QtTest>

#include "TestSupport.h"
#include "platform/I18n.h"
#include "platform/StringUtil.h"

using Libraries::QI18n::Translator;

namespace {

const char *const UsedKeys[] = {nullptr, "main.tab.gen", "gen.var.sep.decimal", nullptr};

// Catalogues in folders a, b and broken.
const QString Data = QStringLiteral(TESTS_DIR "/data/platform/i18n/");

bool registerFor(const QString &folders, const QString &locale)
{
    qputenv("DRIVESCOPE_TRANSLATIONS", folders.toUtf8());
    return Translator::registerDomain("quill.drivescope gen", "30 67", "1711 1547", locale, UsedKeys);
}

} // namespace

class TestI18n : public QObject {
    Q_OBJECT

private slots:
    void localeChoosesCatalogue()
    {
        const QString a = Data + "a", b = Data + "b", broken = Data + "broken";
        const QList<std::tuple<QString, QString, QString>> rows = {
            {a, "de_DE", "Allgemein"},                                      // the language's file
            {a, "de_AT", "Allgemeines"},                                    // the full locale's file first
            {a + ":" + b, "de_CH", "Allgemein"},                            // the earlier folder wins
            {a + ":" + b, "fr_FR", QString::fromUtf8("G\u00e9n\u00e9ral")}, // a later one when the first has none
            {broken + ":" + b, "it_IT", "Generale"},                        // a broken catalogue is passed over
            {broken, "it_IT", "General"},
            {a + ":" + b, "sv_SE", "General"}, // no catalogue for the locale
        };
        TestSupport::MessageCapture messages;
        for (const auto &[folders, locale, expected] : rows) {
            QVERIFY(registerFor(folders, locale));
            QCOMPARE(trKey("main.tab.gen", "General"), expected);
            QCOMPARE(QCoreApplication::translate("quill.drivescope", "General", "main.tab.gen"), expected);
        }
        QVERIFY(messages.contains("drivescope_it.json")); // the broken one is reported
    }

    void lookups()
    {
        TestSupport::MessageCapture messages;
        QVERIFY(registerFor(Data + "a", "de_DE"));
        QVERIFY(messages.contains("1 entries are not texts"));
        QCOMPARE(Translator::translateWithEmpty("gen", "General", "main.tab.gen"), QString("Allgemein"));
        // Unregistered domain, unknown key, empty text, a number, no key: the fallback.
        QCOMPARE(QStringList({Translator::translateWithEmpty("unknown.pci", "General", "main.tab.gen"),
                              trKey("main.tab.none", "None"), trKey("empty", "Empty"), trKey("n", "Five"),
                              trKey(nullptr, "Null key")}),
                 QStringList({"General", "None", "Empty", "Five", "Null key"}));
        QVERIFY(trKey("main.tab.none", nullptr).isNull());
        QCOMPARE(QCoreApplication::translate("quill.drivescope", ".", "gen.var.sep.decimal"), QString(","));

        // A class's context resolves only once mapped to the domain.
        const char *context = "Applications::DriveScope::MainWindow";
        QCOMPARE(QCoreApplication::translate(context, "General", "main.tab.gen"), QString("General"));
        Translator::mapContext(context, "quill.drivescope gen");
        QCOMPARE(QCoreApplication::translate(context, "General", "main.tab.gen"), QString("Allgemein"));
        QCOMPARE(QCoreApplication::translate(context, "General", nullptr), QString("General"));
        QCOMPARE(QCoreApplication::translate("Other", "General", "main.tab.gen"), QString("General"));
        QVERIFY(!Translator::registerDomain("", "", "", "de_DE", UsedKeys));
        QVERIFY(!Translator::registerDomain(nullptr, nullptr, nullptr, "de_DE", nullptr));
    }

    void cleanup() { StringUtil::resetFormatting(); }

    // Cases in tests/data/platform/sizes.txt.
    void sizes()
    {
        QFile cases(QStringLiteral(TESTS_DIR "/data/platform/sizes.txt"));
        QVERIFY(cases.open(QIODevice::ReadOnly));
        int checked = 0;
        for (const QString &line : QString::fromUtf8(cases.readAll()).split('\n')) {
            const QStringList f = line.split('\t');
            if (line.startsWith('#') || f.size() != 3)
                continue;
            QCOMPARE(StringUtil::formatSizesSmart(f[0].toULongLong(), f[1] == "1"), f[2]);
            ++checked;
        }
        QCOMPARE(checked, 13);
    }

    // Separators and prefixes set at start-up; a short prefix list stops at its
    // last prefix; the reset brings English back.
    void settings()
    {
        StringUtil::setDecimalSeparator(',');
        StringUtil::setThousandSeparator('.');
        StringUtil::setUnitSeparator(QString::fromUtf8("\u00A0"));
        StringUtil::setSIPrefixes(QString::fromUtf8(" \u043AMGi"));
        QCOMPARE(StringUtil::formatSizesSmart(500107862016, true), QString::fromUtf8("500,1\u00A0G"));
        QCOMPARE(StringUtil::formatSizesSmart(1023, false), QString::fromUtf8("1.023\u00A0"));
        QCOMPARE(StringUtil::formatSizesSmart(1500, true), QString::fromUtf8("1,5\u00A0\u043A"));
        StringUtil::setSIPrefixes(" kM");
        StringUtil::setThousandSeparator(0);
        QCOMPARE(StringUtil::formatSizesSmart(quint64(2500000000), true), QString::fromUtf8("2500\u00A0M"));
        StringUtil::setSIPrefixes(" ");
        QCOMPARE(StringUtil::formatSizesSmart(quint64(2500), true), QString::fromUtf8("2500\u00A0"));
        StringUtil::setBIPrefixes("_XYZ");
        StringUtil::resetFormatting();
        QCOMPARE(StringUtil::formatSizesSmart(1536, false), QString("1.5 K"));
    }
};

QTEST_GUILESS_MAIN(TestI18n)
#include "tst_i18n.moc"
