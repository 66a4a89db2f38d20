// Start-up as the user meets it: --help and --version, --nodes FILE (or the
// FILE a file manager hands over), the drive report when there is no display;
// the language of the environment picks the catalogue, with English wherever
// none exists.
#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

#include "DemoTree.h"
#include "TestSupport.h"
#include "app/MainWindow.h"
#include "app/Resources.h"
#include "model/Startup.h"
#include "platform/StringUtil.h"
#include "platform/Version.h"

using namespace Applications::DriveScope;

namespace {

const char ChildVariable[] = "DRIVESCOPE_STARTUP_CHILD";

// In a child process started with a language in LANG: the locale, start-up
// texts of the window and a formatted size, as one JSON array on standard output.
int childMain(int argc, char **argv)
{
    QApplication app(argc, argv);
    initResources();
    setupTranslationAndFormatting();
    MainWindow window;
    const QJsonArray texts{QLocale().name(),
                           window.findChild<QPushButton *>("btnReload")->text(),
                           window.findChild<QTabWidget *>("tbInfos")->tabText(0),
                           window.findChild<QLabel *>("lblPart")->text(),
                           window.findChild<QLabel *>("lblSmartHealthState")->text(),
                           StringUtil::formatSizesSmart(1500000000, true)};
    QTextStream(stdout) << QJsonDocument(texts).toJson(QJsonDocument::Compact) << Qt::endl;
    return 0;
}

// The environment changes of a start as a user's: no display, no language, the tree `tree`.
QStringList clean(const QString &tree)
{
    return QString("DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM LANG LC_ALL LC_MESSAGES LANGUAGE DRIVESCOPE_TRANSLATIONS "
                   "DRIVESCOPE_NO_CRASHDUMP=1 %1")
               .arg(ChildVariable)
               .split(' ')
           << "DRIVESCOPE_NODES=" + tree;
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    const QString m_tree = m_dir.filePath("machine.json");
    const QString m_program = QStringLiteral(BUILD_DIR "/drivescope");

private Q_SLOTS:
    void initTestCase() { QVERIFY(DemoTree::write(m_tree, DemoTree::machine(QString()))); }

    // --help and --version are answered before any window or report, with a
    // display too; without a display the program prints the report of every drive
    // (the unopenable one included) of the tree on its command line, or else of
    // the one the environment names.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("environmentTree");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("start"); // of the output; empty for the report
        const QString elsewhere = m_dir.filePath("elsewhere.json");
        QTest::newRow("help") << QStringList{"--help"} << m_tree << 0 << "Usage: drivescope [--nodes FILE | FILE]\n";
        QTest::newRow("version") << QStringList{"--version"} << m_tree << 0 << "drivescope " + programVersion() + "\n";
        QTest::newRow("environment") << QStringList{} << m_tree << 0 << QString();
        QTest::newRow("--nodes") << QStringList{"--nodes", m_tree} << elsewhere << 0 << QString();
        QTest::newRow("file") << QStringList{m_tree} << elsewhere << 0 << QString();
        QTest::newRow("no such file") << QStringList{"--nodes", m_dir.filePath("none.json")} << m_tree << 1
                                      << QString();
        QTest::newRow("without file") << QStringList{"--nodes"} << m_tree << 2 << QString();
    }

    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, environmentTree);
        QFETCH(int, status);
        QFETCH(QString, start);
        // With a display the report's starts would open the window instead.
        for (bool display : {false, true}) {
            if (display && start.isEmpty())
                break;
            const TestSupport::Run run = TestSupport::run(
                m_program, args, clean(environmentTree) << (display ? "QT_QPA_PLATFORM=offscreen" : ""));
            QCOMPARE(run.exitCode, status);
            QVERIFY2(run.out.startsWith(start), qPrintable(run.out));
            QCOMPARE(run.out.contains("ACME SATA SSD") && run.out.contains("Broken disk"),
                     status == 0 && start.isEmpty());
        }
    }

    void languageFromEnvironment_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QStringList>("texts"); // locale, refresh, General, partition status, S.M.A.R.T. status, size
        const QStringList english = {"Refresh", "General", "SAFE DISK ENABLED", "DEVICE DATA NOT AVAILABLE", "1.5 G"};
        const QStringList german = {"Aktualisieren", "Allgemein", "SAFE DISK AKTIV", "GERÄTEDATEN NICHT VERFÜGBAR"};
        QTest::newRow("de") << "de_DE.UTF-8" << QStringList{"de_DE"} + german + QStringList{"1,5 G"};
        QTest::newRow("en") << "en_US.UTF-8" << QStringList{"en_US"} + english;
        // No catalogue for French: every text falls back to English.
        QTest::newRow("fr") << "fr_FR.UTF-8" << QStringList{"fr_FR"} + english;
    }

    void languageFromEnvironment()
    {
        QFETCH(QString, lang);
        const TestSupport::Run run = TestSupport::run(QCoreApplication::applicationFilePath(), {},
                                                      clean(m_tree) << "QT_QPA_PLATFORM=offscreen"
                                                                    << "LANG=" + lang << QString(ChildVariable) + "=1");
        QCOMPARE(run.exitCode, 0);
        const QJsonArray texts = QJsonDocument::fromJson(run.out.trimmed().split('\n').last().toUtf8()).array();
        QTEST(QVariant(texts.toVariantList()).toStringList(), "texts");
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(ChildVariable))
        return childMain(argc, argv);
    QApplication app(argc, argv);
    TestStartup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
