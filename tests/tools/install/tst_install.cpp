// What `cmake --install` puts on a desktop: the programs, the menu entry, the
// icon, the launcher that asks polkit for the rights to read the drives, and
// the systemd timer that writes the drive metrics.
#include <QDomDocument>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

#include "TestSupport.h"

namespace {
QString readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// A program of that name in `folder` that writes its arguments, one per line,
// into `folder`/name.args and prints `output`.
void fake(const QString &folder, const QString &name, const QString &output = {})
{
    QVERIFY(TestSupport::writeScript(
        folder + '/' + name,
        QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(/usr/bin/dirname \"$0\")/%1.args\"\n%2\n")
            .arg(name, output.isEmpty() ? QString() : "echo " + output)
            .toUtf8()));
}
} // namespace

class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir m_prefix;

private slots:
    void initTestCase()
    {
        QVERIFY(m_prefix.isValid());
        const TestSupport::Run install =
            TestSupport::run(CMAKE_COMMAND_PATH, {"--install", BUILD_DIR, "--prefix", m_prefix.path()});
        QVERIFY2(install.exitCode == 0, qPrintable(install.out + install.err));
    }

    void programsAndIcon()
    {
        for (const char *program : {"bin/drivescope", "bin/drivescope-report", "bin/drivescope-admin",
                                    "libexec/drivescope/drivescope-crashdump"}) {
            const QFileInfo info(m_prefix.filePath(QString::fromLatin1(program)));
            QVERIFY2(info.isExecutable(), program);
        }
        QVERIFY(!QFileInfo::exists(m_prefix.filePath(QStringLiteral("bin/crashdump"))));
        for (int size : {48, 128}) {
            const QImage icon(
                m_prefix.filePath(QStringLiteral("share/icons/hicolor/%1x%1/apps/drivescope.png").arg(size)));
            QCOMPARE(icon.size(), QSize(size, size));
        }
    }

    // The menu entry starts the program by name and offers the launcher as its
    // action; desktop-file-validate (when there) agrees that it is well formed.
    void desktopEntry()
    {
        const QString file = m_prefix.filePath("share/applications/drivescope.desktop");
        QSettings entry(file, QSettings::IniFormat);
        QCOMPARE(entry.value("Desktop Entry/Exec").toString(), QString("drivescope %f"));
        // A node-tree file opens in the window: the type the entry takes is the one installed.
        QVERIFY(entry.value("Desktop Entry/MimeType").toString().startsWith("application/x-drivescope-nodes"));
        QFile mime(m_prefix.filePath("share/mime/packages/drivescope.xml"));
        QVERIFY(mime.open(QIODevice::ReadOnly));
        QDomDocument types;
        QVERIFY(types.setContent(&mime));
        QCOMPARE(types.documentElement().firstChildElement("mime-type").attribute("type"),
                 QString("application/x-drivescope-nodes"));
        QCOMPARE(entry.value("Desktop Action full-access/Exec").toString(), QString("drivescope-admin"));
        const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
        if (validate.isEmpty())
            QSKIP("desktop-file-validate (package desktop-file-utils) is not installed");
        const TestSupport::Run check = TestSupport::run(validate, {file});
        QVERIFY2(check.exitCode == 0 && !(check.out + check.err).contains("error"), qPrintable(check.out + check.err));
    }

    // The policy lets exactly the installed program run with the display kept.
    void polkitPolicy()
    {
        QDomDocument policy;
        QVERIFY(
            policy.setContent(readAll(m_prefix.filePath("share/polkit-1/actions/org.drivescope.drivescope.policy"))));
        const QDomElement action = policy.documentElement().firstChildElement("action");
        QCOMPARE(action.attribute("id"), QString("org.drivescope.drivescope.run"));
        QMap<QString, QString> annotations;
        for (QDomElement a = action.firstChildElement("annotate"); !a.isNull(); a = a.nextSiblingElement("annotate"))
            annotations.insert(a.attribute("key"), a.text());
        QCOMPARE(annotations.value("org.freedesktop.policykit.exec.path"), QString(INSTALLED_PROGRAM));
        QCOMPARE(annotations.value("org.freedesktop.policykit.exec.allow_gui"), QString("true"));
        QCOMPARE(action.firstChildElement("defaults").firstChildElement("allow_active").text(),
                 QString("auth_admin_keep"));
    }

    // The launcher, run by a user: through pkexec, straight to the program when
    // polkit knows our policy, through env (keeping the display) when it does
    // not; without pkexec it says so.
    void launcher_data()
    {
        QTest::addColumn<bool>("policyKnown");
        QTest::addColumn<QStringList>("expected"); // empty: no pkexec
        QTest::newRow("policy known") << true << QStringList{INSTALLED_PROGRAM, "--x"};
        QTest::newRow("policy elsewhere")
            << false << QStringList{"env", "DISPLAY=:7", "XAUTHORITY=/tmp/auth", INSTALLED_PROGRAM, "--x"};
        QTest::newRow("no pkexec") << false << QStringList{};
    }
    void launcher()
    {
        QFETCH(bool, policyKnown);
        QFETCH(QStringList, expected);
        QTemporaryDir bin, actions;
        fake(bin.path(), "id", "1000");
        if (!expected.isEmpty())
            fake(bin.path(), "pkexec");
        if (policyKnown)
            QVERIFY(QFile::copy(m_prefix.filePath("share/polkit-1/actions/org.drivescope.drivescope.policy"),
                                actions.filePath("org.drivescope.drivescope.policy")));
        const TestSupport::Run run =
            TestSupport::run("/bin/sh", {m_prefix.filePath("bin/drivescope-admin"), "--x"},
                             {"PATH=" + bin.path() + (expected.isEmpty() ? "" : ":/usr/bin:/bin"),
                              "DRIVESCOPE_POLKIT_ACTIONS=" + actions.path(), "DISPLAY=:7", "XAUTHORITY=/tmp/auth"});
        QCOMPARE(run.exitCode, expected.isEmpty() ? 1 : 0);
        QCOMPARE(readAll(bin.filePath("pkexec.args")).split('\n', Qt::SkipEmptyParts), expected);
        QCOMPARE(run.err.contains("pkexec is not installed"), expected.isEmpty());
    }

    // The metrics service runs the installed report into the configured file,
    // may write only beside it, and systemd-analyze (when there) accepts both units.
    void metricsTimer()
    {
        const QString units = m_prefix.filePath("lib/systemd/system/");
        QString service = readAll(units + "drivescope-metrics.service");
        const QRegularExpression exec("^ExecStart=(\\S+) --prometheus (/\\S+)/drivescope.prom$",
                                      QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = exec.match(service);
        QVERIFY2(m.hasMatch(), qPrintable(service));
        QVERIFY(m.captured(1).endsWith("/bin/drivescope-report"));
        QVERIFY(service.contains("\nReadWritePaths=" + m.captured(2) + "\n"));
        QVERIFY(readAll(units + "drivescope-metrics.timer").contains("\nOnUnitActiveSec=15min\n"));
        const QString analyze = QStandardPaths::findExecutable("systemd-analyze");
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed");
        QTemporaryDir dir;
        service.replace(m.captured(1), m_prefix.filePath("bin/drivescope-report"));
        QFile copy(dir.filePath("drivescope-metrics.service"));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write(service.toUtf8());
        copy.close();
        QVERIFY(QFile::copy(units + "drivescope-metrics.timer", dir.filePath("drivescope-metrics.timer")));
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.setWorkingDirectory(dir.path());
        check.start(analyze, {"verify", "drivescope-metrics.service", "drivescope-metrics.timer"});
        QVERIFY(check.waitForFinished());
        QVERIFY2(check.exitCode() == 0, check.readAll().constData());
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
