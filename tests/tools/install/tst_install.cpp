// What `cmake --install` puts on a desktop: the programs, the menu entry, the
// icon, the helper polkit lets run as root for full drive access, and
// the systemd timer that writes the drive metrics.
#include <QDomDocument>
#include <QImage>
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
        for (const char *program :
             {"bin/drivescope", "bin/drivescope-report", "bin/drivescope-admin",
              "libexec/drivescope/drivescope-crashdump", "libexec/drivescope/drivescope-helper"}) {
            QVERIFY2(QFileInfo(m_prefix.filePath(QString::fromLatin1(program))).isExecutable(), program);
        }
        QVERIFY(!QFileInfo::exists(m_prefix.filePath(QStringLiteral("bin/crashdump"))));
        for (int size : {48, 128})
            QCOMPARE(
                QImage(m_prefix.filePath(QString("share/icons/hicolor/%1x%1/apps/drivescope.png").arg(size))).size(),
                QSize(size, size));
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
        QDomDocument types;
        QVERIFY(types.setContent(readAll(m_prefix.filePath("share/mime/packages/drivescope.xml"))));
        QCOMPARE(types.documentElement().firstChildElement("mime-type").attribute("type"),
                 QString("application/x-drivescope-nodes"));
        QCOMPARE(entry.value("Desktop Action full-access/Exec").toString(), QString("drivescope --full-access"));
        const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
        if (validate.isEmpty())
            QSKIP("desktop-file-validate (package desktop-file-utils) is not installed");
        const TestSupport::Run check = TestSupport::run(validate, {file});
        QVERIFY2(check.exitCode == 0 && !(check.out + check.err).contains("error"), qPrintable(check.out + check.err));
    }

    // The policy lets exactly the installed helper run as root, without the
    // display; the launcher only asks the window for full access.
    void polkitPolicy()
    {
        QDomDocument policy;
        QVERIFY(
            policy.setContent(readAll(m_prefix.filePath("share/polkit-1/actions/org.drivescope.drivescope.policy"))));
        const QDomElement action = policy.documentElement().firstChildElement("action");
        const QDomElement annotation = action.firstChildElement("annotate");
        QCOMPARE(annotation.attribute("key"), QString("org.freedesktop.policykit.exec.path"));
        QCOMPARE(annotation.text(), QString(INSTALLED_HELPER));
        QVERIFY(annotation.nextSiblingElement("annotate").isNull());
        QCOMPARE(action.firstChildElement("defaults").firstChildElement("allow_active").text(),
                 QString("auth_admin_keep"));
        QCOMPARE(readAll(m_prefix.filePath("bin/drivescope-admin")),
                 QString("#!/bin/sh\nexec \"%1\" --full-access \"$@\"\n").arg(INSTALLED_PROGRAM));
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
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(service.toUtf8()) > 0);
        copy.close();
        QVERIFY(QFile::copy(units + "drivescope-metrics.timer", dir.filePath("drivescope-metrics.timer")));
        const TestSupport::Run check =
            TestSupport::run(analyze, {"verify", copy.fileName(), dir.filePath("drivescope-metrics.timer")});
        QVERIFY2(check.exitCode == 0, qPrintable(check.out + check.err));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
