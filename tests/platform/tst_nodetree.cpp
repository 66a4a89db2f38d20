// The node-tree reader: element shapes, key order, includes, and errors that
// name the file and the place while the rest of the tree still loads.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "TestSupport.h"
#include "platform/sim/NodeTreeReader.h"
#include "platform/sim/OrderedJson.h"

using namespace Services::Nodes::Sim;

Q_DECLARE_METATYPE(PropertyValue)

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    f.write(content);
}

ReadResult readOneProperty(const QByteArray &value, const QString &dir = QDir::tempPath())
{
    const QByteArray json = R"({"nodes": {"/n": {"properties": {"P": )" + value + R"(, "OK": 7}}}})";
    return readNodeTree(json, QStringLiteral("t.json"), dir);
}

PropertyValue propertyOf(const ReadResult &r, const QString &name, const QString &node = QStringLiteral("/n"))
{
    const NodeData *n = r.tree.find(node);
    if (!n)
        return {Variant::ofText(QStringLiteral("<no node>"))};
    for (const auto &[key, value] : n->providers[0].properties) {
        if (key == name)
            return value;
    }
    return {Variant::ofText(QStringLiteral("<no property>"))};
}

} // namespace

class TestNodeTree : public QObject {
    Q_OBJECT

private slots:
    // Element shapes, and bad elements, entries and documents: what is read and
    // the errors, which name the file and the place, are kept in
    // tests/expected/platform/nodetree.txt; a bad element or entry costs only
    // itself, the rest of the tree still loads.
    void readsAndErrors()
    {
        QString out;
        const auto add = [&](const QByteArray &kind, const QByteArray &name, const ReadResult &r, const QString &kept) {
            out += QStringLiteral("=== %1 %2: root read %3, complete %4, nodes %5%6\n")
                       .arg(QString::fromUtf8(kind), QString::fromUtf8(name))
                       .arg(r.rootRead)
                       .arg(r.complete)
                       .arg(r.tree.nodes.size())
                       .arg(kept);
            for (const QString &e : r.errors)
                out += e + QLatin1Char('\n');
        };
        QFile file(QStringLiteral(TESTS_DIR "/data/nodetree-cases.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            if (line.startsWith('#') || fields.size() != 3)
                continue;
            const QByteArray kind = fields[0], name = fields[1];
            const QByteArray json =
                fields[2] == "<DEEP>" ? QByteArray(100000, '[') : QByteArray(fields[2]).replace("<NL>", "\n");
            if (kind == "element") {
                const ReadResult r = readOneProperty(json);
                QVERIFY(propertyOf(r, "OK") == PropertyValue{Variant::ofInt(7)});
                add(kind, name, r, QStringLiteral(", P = ") + TestSupport::shownValue(propertyOf(r, "P")));
            } else if (kind == "entry") {
                const ReadResult r = readNodeTree(
                    R"({"nodes": {"/ok": {"drive": true, "label": "OK", "properties": {"A": 1}}, )" + json + "}}",
                    "t.json", QDir::tempPath());
                QVERIFY(r.tree.find("/ok") && r.tree.find("/ok")->label == QLatin1String("OK"));
                QVERIFY(propertyOf(r, "A", "/ok") == PropertyValue{Variant::ofInt(1)});
                add(kind, name, r, QString());
            } else {
                add(kind, name, readNodeTree(json, "t.json", QDir::tempPath()), QString());
            }
        }
        COMPARE_GOLDEN("platform/nodetree.txt", out);
    }

    // Key order is file order everywhere, with defaults for what is left out;
    // included files come first and the including file wins. The trees as read
    // are kept in tests/expected/platform/nodetree-shapes.txt.
    void shapes()
    {
        const QString dir = QStringLiteral(TESTS_DIR "/data/nodetree");
        QString out;
        for (const char *file : {"order.json", "defaults.json", "main.json"}) {
            const ReadResult r = loadNodeTree(dir + '/' + file);
            out += QStringLiteral("=== %1: root read %2, complete %3, hosted %4, boot \"%5\"\n")
                       .arg(file)
                       .arg(r.rootRead)
                       .arg(r.complete)
                       .arg(r.tree.hosted)
                       .arg(r.tree.bootParameter);
            for (const QString &e : r.errors)
                out += e + '\n';
            for (const NodeData &n : r.tree.nodes) {
                QStringList providers;
                for (int index : n.providers.keys())
                    providers << QString::number(index);
                out += QStringLiteral("%1 drive %2, label \"%3\", canonical \"%4\", providers %5")
                           .arg(n.path)
                           .arg(n.drive)
                           .arg(n.label, n.canonical, providers.join(QLatin1Char(' ')));
                if (n.storage)
                    out += QStringLiteral(", blocks %1 x %2").arg(n.storage->blockCount).arg(n.storage->blockSize);
                out += '\n';
                for (auto p = n.providers.cbegin(); p != n.providers.cend(); ++p) {
                    for (const auto &[key, value] : p->properties)
                        out += QStringLiteral("  [%1] %2 = %3\n").arg(p.key()).arg(key, TestSupport::shownValue(value));
                    for (const auto &[key, value] : p->sets)
                        out += QStringLiteral("  [%1] set %2 = %3\n")
                                   .arg(p.key())
                                   .arg(key, TestSupport::shownValue(value));
                }
            }
            for (auto c = r.tree.companions.cbegin(); c != r.tree.companions.cend(); ++c)
                for (const auto &companion : c.value())
                    out += QStringLiteral("companion of %1: %2 type %3\n")
                               .arg(c.key(), companion.path)
                               .arg(companion.type);
            const QStringList files = r.files.keys();
            out += QStringLiteral("files: %1\n").arg(files.join(QLatin1Char(' ')).replace(dir + '/', QString()));
        }
        COMPARE_GOLDEN("platform/nodetree-shapes.txt", out);
    }

    void bufferFile()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("blobs/id.bin"), QByteArray("\x00\x01\xff", 3));
        const ReadResult r = readOneProperty(R"({"file": "blobs/id.bin"})", dir.path());
        QCOMPARE(r.errors, QStringList());
        QCOMPARE(propertyOf(r, "P"), PropertyValue{Variant::ofBuffer(QByteArray("\x00\x01\xff", 3))});
        QVERIFY(r.files.contains(QDir::cleanPath(dir.filePath("blobs/id.bin"))));
        QCOMPARE(r.files.value(QDir::cleanPath(dir.filePath("blobs/id.bin"))),
                 fileDigest(dir.filePath("blobs/id.bin")));
    }

    void includeErrorsNameTheIncludedFile()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("main.json"), R"({"include": ["sub/a.json"]})");
        writeFile(dir.filePath("sub/a.json"), R"({"nodes": {"/a": {"drive": 1}}})");
        const ReadResult r = loadNodeTree(dir.filePath("main.json"));
        QCOMPARE(r.errors, QStringList({R"(sub/a.json: node "/a", key "drive": expected true or false, not 1)"}));
    }

    void includeCycleAndDepth()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("a.json"), R"({"include": ["b.json"], "nodes": {"/a": {}}})");
        writeFile(dir.filePath("b.json"), R"({"include": ["a.json"], "nodes": {"/b": {}}})");
        ReadResult r = loadNodeTree(dir.filePath("a.json"));
        QCOMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors.first().contains(R"(b.json: key "include": "a.json" includes itself)"),
                 qPrintable(r.errors.first()));
        QVERIFY(r.tree.find("/a") && r.tree.find("/b"));

        for (int i = 0; i < 20; ++i)
            writeFile(dir.filePath(QString("chain%1.json").arg(i)),
                      QString(R"({"include": ["chain%1.json"], "nodes": {"/c%2": {}}})").arg(i + 1).arg(i).toUtf8());
        r = loadNodeTree(dir.filePath("chain0.json"));
        QCOMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors.first().contains("nested more than 8 includes deep"), qPrintable(r.errors.first()));
        QCOMPARE(r.tree.nodes.size(), MaxIncludeDepth + 1);
    }

    void compactTextIsCut()
    {
        const auto v = Json::parse(QByteArray("{\"k\": \"") + QByteArray(500, 'x') + "\"}", nullptr);
        QVERIFY(v);
        const QString text = v->toCompact(40);
        QCOMPARE(text.size(), 43);
        QVERIFY(text.endsWith("..."));
    }
};

QTEST_GUILESS_MAIN(TestNodeTree)
#include "tst_nodetree.moc"
