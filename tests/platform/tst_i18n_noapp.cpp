// Translation before (or without) a QCoreApplication: lookups still work and
// Qt's own translate() simply returns the source text.
#include <QtTest>

#include "platform/I18n.h"

using Libraries::QI18n::Translator;

class TestI18nNoApp : public QObject {
    Q_OBJECT

private slots:
    void lookupsWithoutApplication()
    {
        QVERIFY(!QCoreApplication::instance());
        QCOMPARE(trKey("main.tab.gen", "General"), QString("General"));

        qputenv("DRIVESCOPE_TRANSLATIONS", TESTS_DIR "/data/platform/i18n/a");
        QVERIFY(Translator::registerDomain("quill.drivescope", "30", "1711", "de_DE", nullptr));
        Translator::mapContext("Applications::DriveScope::MainWindow", "quill.drivescope");
        QCOMPARE(trKey("main.tab.gen", "General"), QString("Allgemein"));
        QCOMPARE(QCoreApplication::translate("quill.drivescope", "General", "main.tab.gen"), QString("General"));
    }
};

QTEST_APPLESS_MAIN(TestI18nNoApp)
#include "tst_i18n_noapp.moc"
