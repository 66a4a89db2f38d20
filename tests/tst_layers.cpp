// The layers' rule: each folder includes only from itself and the layers below
// it, so a wrong-way include is named here even where no link would fail.
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// What each layer may include besides itself.
const QMap<QString, QStringList> Allowed{
    {"platform", {}},        {"crash", {"platform"}},           {"helper", {"platform"}},
    {"model", {"platform"}}, {"report", {"platform", "model"}},
};
const QStringList Layers{"platform", "model", "report", "app", "crash", "helper"};

// "file:line includes layer/..." for every include against the rule under `root`.
QStringList wrongWayIncludes(const QString &root)
{
    static const QRegularExpression include(QStringLiteral("^\\s*#\\s*include\\s*[<\"]([a-z]+)/"));
    QStringList found;
    for (auto it = Allowed.cbegin(); it != Allowed.cend(); ++it) {
        QDirIterator files(root + '/' + it.key(), {"*.h", "*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile f(files.next());
            f.open(QIODevice::ReadOnly); // an unreadable file reads as empty
            for (int line = 1; !f.atEnd(); ++line) {
                const QString layer = include.match(QString::fromUtf8(f.readLine())).captured(1);
                if (Layers.contains(layer) && layer != it.key() && !it.value().contains(layer))
                    found << QStringLiteral("%1:%2 includes %3/")
                                 .arg(QDir(root).relativeFilePath(f.fileName()))
                                 .arg(line)
                                 .arg(layer);
            }
        }
    }
    return found;
}

} // namespace

class TestLayers : public QObject {
    Q_OBJECT
private slots:
    void sourcesKeepTheRule() { QCOMPARE(wrongWayIncludes(QStringLiteral(SOURCE_DIR)), QStringList()); }

    // Includes spelled with blanks after the hash, and from a deeper folder, are found too.
    void wrongWayIsNamed()
    {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath("platform/linux"));
        QFile f(root.filePath("platform/linux/A.cpp"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#include \"platform/Log.h\"\n#  include \"model/Ata.h\"\n");
        f.close();
        QCOMPARE(wrongWayIncludes(root.path()), QStringList{"platform/linux/A.cpp:2 includes model/"});
    }
};

QTEST_GUILESS_MAIN(TestLayers)
#include "tst_layers.moc"
