// Translation by key: catalogue lookup per locale, the search folders, and the
// Qt translator that resolves QCoreApplication::translate for registered contexts.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

#include "TestSupport.h"
#include "platform/I18n.h"

using Libraries::QI18n::Translator;

namespace {

const char *const UsedKeys[] = {nullptr, "main.tab.gen", "gen.var.sep.decimal", nullptr};

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(content);
}

bool registerFor(const QString &folders, const QString &locale)
{
    qputenv("DRIVESCOPE_TRANSLATIONS", folders.toUtf8());
    return Translator::registerDomain("quill.drivescope gen", "30 67", "1711 1547", locale, UsedKeys);
}

} // namespace

class TestI18n : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        writeFile(m_dir.filePath("a/drivescope_de.json"),
                  R"({"main.tab.gen": "Allgemein", "gen.var.sep.decimal": ",", "empty": "", "n": 5})");
        writeFile(m_dir.filePath("a/drivescope_de_AT.json"), R"({"main.tab.gen": "Allgemeines"})");
        writeFile(m_dir.filePath("b/drivescope_fr.json"), R"({"main.tab.gen": "G\u00e9n\u00e9ral"})");
        writeFile(m_dir.filePath("b/drivescope_de_CH.json"), R"({"main.tab.gen": "Allgemein CH"})");
        writeFile(m_dir.filePath("broken/drivescope_it.json"), R"({"main.tab.gen": )");
        writeFile(m_dir.filePath("b/drivescope_it.json"), R"({"main.tab.gen": "Generale"})");
    }

    void localeChoosesCatalogue_data()
    {
        QTest::addColumn<QString>("folders");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        const QString a = m_dir.filePath("a"), b = m_dir.filePath("b"), broken = m_dir.filePath("broken");
        QTest::newRow("language file for de_DE") << a << "de_DE"
                                                 << "Allgemein";
        QTest::newRow("full locale file first") << a << "de_AT"
                                                << "Allgemeines";
        QTest::newRow("earlier folder wins") << a + ":" + b << "de_CH"
                                             << "Allgemein";
        QTest::newRow("later folder when the first has none")
            << a + ":" + b << "fr_FR" << QString::fromUtf8("G\u00e9n\u00e9ral");
        QTest::newRow("broken catalogue is passed over") << broken + ":" + b << "it_IT"
                                                         << "Generale";
        QTest::newRow("no catalogue for the locale") << a + ":" + b << "sv_SE"
                                                     << "General";
    }

    void localeChoosesCatalogue()
    {
        QFETCH(QString, folders);
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        QVERIFY(registerFor(folders, locale));
        QCOMPARE(trKey("main.tab.gen", "General"), expected);
        QCOMPARE(QCoreApplication::translate("quill.drivescope", "General", "main.tab.gen"), expected);
    }

    void brokenCatalogueIsReported()
    {
        TestSupport::MessageCapture messages;
        QVERIFY(registerFor(m_dir.filePath("broken"), "it_IT"));
        QVERIFY(messages.contains("drivescope_it.json"));
        QCOMPARE(trKey("main.tab.gen", "General"), QString("General"));
    }

    void lookups()
    {
        TestSupport::MessageCapture messages;
        QVERIFY(registerFor(m_dir.filePath("a"), "de_DE"));
        QVERIFY(messages.contains("1 entries are not texts"));
        QCOMPARE(Translator::translateWithEmpty("gen", "General", "main.tab.gen"), QString("Allgemein"));
        // Unregistered domain, unknown key, empty text, no key: the fallback.
        QCOMPARE(Translator::translateWithEmpty("spec.pci", "General", "main.tab.gen"), QString("General"));
        QCOMPARE(trKey("main.tab.none", "None"), QString("None"));
        QCOMPARE(trKey("empty", "Empty"), QString("Empty"));
        QCOMPARE(trKey("n", "Five"), QString("Five"));
        QCOMPARE(trKey(nullptr, "Null key"), QString("Null key"));
        QVERIFY(trKey("main.tab.none", nullptr).isNull());
        QCOMPARE(QCoreApplication::translate("quill.drivescope", ".", "gen.var.sep.decimal"), QString(","));
    }

    void contextsResolveOnlyWhenMapped()
    {
        QVERIFY(registerFor(m_dir.filePath("a"), "de_DE"));
        const char *context = "Applications::DriveScope::MainWindow";
        QCOMPARE(QCoreApplication::translate(context, "General", "main.tab.gen"), QString("General"));
        Translator::mapContext(context, "quill.drivescope gen");
        QCOMPARE(QCoreApplication::translate(context, "General", "main.tab.gen"), QString("Allgemein"));
        QCOMPARE(QCoreApplication::translate(context, "General", nullptr), QString("General"));
        QCOMPARE(QCoreApplication::translate("Other", "General", "main.tab.gen"), QString("General"));
    }

    void emptyDomainListIsRefused()
    {
        QVERIFY(!Translator::registerDomain("", "", "", "de_DE", UsedKeys));
        QVERIFY(!Translator::registerDomain(nullptr, nullptr, nullptr, "de_DE", nullptr));
    }
};

QTEST_GUILESS_MAIN(TestI18n)
#include "tst_i18n.moc"
