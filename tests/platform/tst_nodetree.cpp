// The node-tree reader: element shapes, key order, includes, and errors that
// name the file and the place while the rest of the tree still loads.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

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

QStringList names(const NamedValues &values)
{
    QStringList out;
    for (const auto &v : values)
        out << v.first;
    return out;
}

} // namespace

class TestNodeTree : public QObject {
    Q_OBJECT

private slots:
    void elementShapes_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<PropertyValue>("expected");
        QTest::newRow("number") << QByteArray("42") << PropertyValue{Variant::ofInt(42)};
        QTest::newRow("largest number") << QByteArray("18446744073709551615")
                                        << PropertyValue{Variant::ofInt(~quint64(0))};
        QTest::newRow("string") << QByteArray(R"("ACME SSD")") << PropertyValue{Variant::ofText("ACME SSD")};
        QTest::newRow("escapes") << QByteArray("\"a\\\"b\\\\c\\u00e9\\ud83d\\ude00\\n\"")
                                 << PropertyValue{Variant::ofText(QString::fromUtf8("a\"b\\c\xC3\xA9\xF0\x9F\x98\x80\n"))};
        QTest::newRow("utf-8") << QByteArray("\"Gr\xC3\xB6\xC3\x9F" "e\"")
                               << PropertyValue{Variant::ofText(QString::fromUtf8("Gr\xC3\xB6\xC3\x9F" "e"))};
        QTest::newRow("null") << QByteArray("null") << PropertyValue{Variant::none()};
        QTest::newRow("empty list") << QByteArray("[]") << PropertyValue{};
        QTest::newRow("array of elements") << QByteArray(R"([1, "a", null])")
                                           << PropertyValue{Variant::ofInt(1), Variant::ofText("a"), Variant::none()};
        QTest::newRow("nested array")
            << QByteArray(R"([["A", "B"], 3])")
            << PropertyValue{Variant::ofList({Variant::ofText("A"), Variant::ofText("B")}), Variant::ofInt(3)};
        QTest::newRow("int object") << QByteArray(R"({"int": 42})") << PropertyValue{Variant::ofInt(42)};
        QTest::newRow("int hex text") << QByteArray(R"({"int": "0xFFFFFFFFFFFFFFFF"})")
                                      << PropertyValue{Variant::ofInt(~quint64(0))};
        QTest::newRow("int above 2^53 as text") << QByteArray(R"({"int": "9007199254740993"})")
                                                << PropertyValue{Variant::ofInt(9007199254740993ull)};
        QTest::newRow("text object") << QByteArray(R"({"text": "abc"})") << PropertyValue{Variant::ofText("abc")};
        QTest::newRow("empty text") << QByteArray(R"({"text": ""})") << PropertyValue{Variant::ofText("")};
        QTest::newRow("buffer") << QByteArray("{\"buffer\": \"05 00\\n00 6a\"}")
                                << PropertyValue{Variant::ofBuffer(QByteArray("\x05\x00\x00\x6a", 4))};
        QTest::newRow("empty buffer") << QByteArray(R"({"buffer": ""})") << PropertyValue{Variant::ofBuffer("")};
        QTest::newRow("list object") << QByteArray(R"({"list": [1, {"text": "x"}]})")
                                     << PropertyValue{Variant::ofList({Variant::ofInt(1), Variant::ofText("x")})};
        QTest::newRow("none object") << QByteArray(R"({"none": true})") << PropertyValue{Variant::none()};
        QTest::newRow("named elements")
            << QByteArray(R"([{"name": "VPD_PAGE_131", "buffer": "00 83"}, {"name": "HOSTSYSTEM", "text": "LINUX"}])")
            << PropertyValue{Variant::ofBuffer(QByteArray("\x00\x83", 2), "VPD_PAGE_131"),
                             Variant::ofText("LINUX", "HOSTSYSTEM")};
    }

    void elementShapes()
    {
        QFETCH(QByteArray, json);
        QFETCH(PropertyValue, expected);
        const ReadResult r = readOneProperty(json);
        QCOMPARE(r.errors, QStringList());
        const PropertyValue actual = propertyOf(r, "P");
        QCOMPARE(actual.size(), expected.size());
        for (qsizetype i = 0; i < actual.size(); ++i) {
            QCOMPARE(actual[i].kind, expected[i].kind);
            QVERIFY2(actual[i] == expected[i], qPrintable(QString("element %1 differs").arg(i)));
        }
    }

    void badElements_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown shape") << QByteArray(R"({"foo":1})")
                                       << R"(t.json: node "/n", property "P": unknown element shape {"foo":1})";
        QTest::newRow("two kinds") << QByteArray(R"({"int":1,"text":"a"})")
                                   << R"(t.json: node "/n", property "P": unknown element shape {"int":1,"text":"a"})";
        QTest::newRow("negative") << QByteArray("-1")
                                  << R"(t.json: node "/n", property "P": -1 is not a whole number from 0 to 2^64-1)";
        QTest::newRow("fraction") << QByteArray("1.5")
                                  << R"(t.json: node "/n", property "P": 1.5 is not a whole number from 0 to 2^64-1)";
        QTest::newRow("too large") << QByteArray("18446744073709551616")
                                   << R"(t.json: node "/n", property "P": 18446744073709551616 is not a whole number from 0 to 2^64-1)";
        QTest::newRow("boolean") << QByteArray("true") << R"(t.json: node "/n", property "P": unknown element shape true)";
        QTest::newRow("hex too large") << QByteArray(R"({"int": "0x10000000000000000"})") << "\"int\" needs a whole number";
        QTest::newRow("hex bad digit") << QByteArray(R"({"int": "0x1G"})") << "\"int\" needs a whole number";
        QTest::newRow("odd hex digits") << QByteArray(R"({"buffer": "123"})") << "\"buffer\" needs pairs";
        QTest::newRow("not hex") << QByteArray(R"({"buffer": "zz"})") << "\"buffer\" needs pairs";
        QTest::newRow("text not a string") << QByteArray(R"({"text": 5})") << "\"text\" needs a string";
        QTest::newRow("bad in nested list") << QByteArray(R"([1, [2, {"x": 0}]])") << "unknown element shape {\"x\":0}";
    }

    // A bad element becomes kind 0, is reported once with its place, and the
    // rest of the node still loads.
    void badElements()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, message);
        const ReadResult r = readOneProperty(json);
        QCOMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors.first().contains(message), qPrintable(r.errors.first()));
        QVERIFY(r.errors.first().startsWith(R"(t.json: node "/n", property "P": )"));
        QVERIFY(r.complete);
        QCOMPARE(propertyOf(r, "OK"), PropertyValue{Variant::ofInt(7)});
        const PropertyValue p = propertyOf(r, "P");
        QVERIFY(!p.isEmpty());
    }

    void keyOrderIsFileOrder()
    {
        const QByteArray json = R"({"nodes": {
            "/z": {"properties": {"ZETA": 1, "ALPHA": 2, "MID": 3, "beta": 4},
                   "sets": {"Z_SET": 1, "A_SET": 2},
                   "providers": {"2": {"properties": {"Y": 1, "B": 2}}, "1": {}}},
            "/a": {}, "/m": {}}})";
        const ReadResult r = readNodeTree(json, "t.json", QDir::tempPath());
        QCOMPARE(r.errors, QStringList());
        QStringList order;
        for (const NodeData &n : r.tree.nodes)
            order << n.path;
        QCOMPARE(order, QStringList({"/z", "/a", "/m"}));
        const NodeData *z = r.tree.find("/z");
        QVERIFY(z);
        QCOMPARE(names(z->providers[0].properties), QStringList({"ZETA", "ALPHA", "MID", "beta"}));
        QCOMPARE(names(z->providers[0].sets), QStringList({"Z_SET", "A_SET"}));
        QCOMPARE(names(z->providers[2].properties), QStringList({"Y", "B"}));
        QCOMPARE(z->providers.keys(), QList<int>({0, 1, 2}));
    }

    void defaultsAndSystem()
    {
        const QByteArray json = R"({"system": {"hosted": true, "bootParameter": "a b"},
            "nodes": {"/d": {"drive": true}, "/e": {"label": "E", "canonical": "e0"}},
            "companions": {"/sys/x": [{"path": "/devices/pci/0000:00:17.0", "type": 2}, {"path": "/p"}]}})";
        const ReadResult r = readNodeTree(json, "t.json", QDir::tempPath());
        QCOMPARE(r.errors, QStringList());
        QVERIFY(r.tree.hosted);
        QCOMPARE(r.tree.bootParameter, QString("a b"));
        const NodeData *d = r.tree.find("/d");
        QVERIFY(d && d->drive);
        QCOMPARE(d->label, QString("/d"));
        QCOMPARE(d->canonical, QString("/d"));
        QVERIFY(!d->storage);
        const NodeData *e = r.tree.find("/e");
        QVERIFY(e && !e->drive);
        QCOMPARE(e->label, QString("E"));
        QCOMPARE(e->canonical, QString("e0"));
        const auto companions = r.tree.companions.value("/sys/x");
        QCOMPARE(companions.size(), 2);
        QCOMPARE(companions[0].path, QString("/devices/pci/0000:00:17.0"));
        QCOMPARE(companions[0].type, 2);
        QCOMPARE(companions[1].type, 0);
    }

    void structureErrors_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QString>("message");
        QTest::newRow("node not an object") << QByteArray(R"("/x": 5)") << R"(t.json: node "/x": expected an object, not a number; skipped)";
        QTest::newRow("unknown node key") << QByteArray(R"("/x": {"propeties": {}})") << R"(t.json: node "/x": unknown key "propeties" (ignored))";
        QTest::newRow("drive not boolean") << QByteArray(R"("/x": {"drive": "yes"})") << R"(t.json: node "/x", key "drive": expected true or false, not "yes")";
        QTest::newRow("properties not an object") << QByteArray(R"("/x": {"properties": [1]})") << R"(t.json: node "/x", key "properties": expected an object, not an array)";
        QTest::newRow("storage without count") << QByteArray(R"("/x": {"storage": {"blockSize": 512}})") << R"(t.json: node "/x", key "storage": needs both "blockSize" and "blockCount"; the node has no storage)";
        QTest::newRow("storage block size 0") << QByteArray(R"("/x": {"storage": {"blockSize": 0, "blockCount": 1}})") << R"("blockSize" needs a whole number from 1 to 1048576, not 0)";
        QTest::newRow("storage overflow") << QByteArray(R"("/x": {"storage": {"blockSize": 4096, "blockCount": 18446744073709551615}})") << "does not fit in 64 bits";
        QTest::newRow("unknown fail operation") << QByteArray(R"("/x": {"fail": ["open", "write"]})") << R"(t.json: node "/x", key "fail": unknown operation "write")";
        QTest::newRow("provider index 0") << QByteArray(R"("/x": {"providers": {"0": {}}})") << R"(t.json: node "/x", provider "0": a provider index)";
        QTest::newRow("provider index text") << QByteArray(R"("/x": {"providers": {"one": {}}})") << R"(t.json: node "/x", provider "one": a provider index)";
        QTest::newRow("duplicate property") << QByteArray(R"("/x": {"properties": {"A": 1, "A": 2}})") << R"(t.json: node "/x", property "A": given twice; the first entry is kept)";
        QTest::newRow("duplicate node") << QByteArray(R"("/ok": {"label": "second"})") << R"(t.json: node "/ok": given twice in this file; the first entry is kept)";
        QTest::newRow("missing buffer file") << QByteArray(R"("/x": {"sets": {"S": {"file": "no/such.bin"}}})") << R"(t.json: node "/x", set "S": buffer file "no/such.bin" cannot be read)";
    }

    // One error per wrong entry, with file and place; the good node still loads.
    void structureErrors()
    {
        QFETCH(QByteArray, entry);
        QFETCH(QString, message);
        const QByteArray json = R"({"nodes": {"/ok": {"drive": true, "label": "OK", "properties": {"A": 1}}, )" +
                                entry + "}}";
        const ReadResult r = readNodeTree(json, "t.json", QDir::tempPath());
        QCOMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors.first().contains(message), qPrintable(r.errors.first()));
        const NodeData *ok = r.tree.find("/ok");
        QVERIFY(ok);
        QCOMPARE(ok->label, QString("OK"));
        QCOMPARE(propertyOf(r, "A", "/ok"), PropertyValue{Variant::ofInt(1)});
    }

    void missingBufferFileBecomesNone()
    {
        const ReadResult r = readOneProperty(R"({"name": "N", "file": "absent.bin"})");
        QCOMPARE(r.errors.size(), 1);
        const PropertyValue p = propertyOf(r, "P");
        QCOMPARE(p.size(), 1);
        QCOMPARE(p[0].kind, Variant::None);
        QCOMPARE(p[0].name, QString("N"));
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

    void syntaxErrors_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing comma") << QByteArray("{\"nodes\": {\n  \"/a\": {}\n  \"/b\": {}}}")
                                       << "t.json: line 3, column 3: not valid JSON: expected ',' or '}' but found '\"'";
        QTest::newRow("truncated") << QByteArray("{\"nodes\": {\"/a\": ")
                                   << "t.json: line 1, column 18: not valid JSON: expected a value but found the end of the file";
        QTest::newRow("unterminated string") << QByteArray("{\"nodes\": {\"/a") << "unterminated string";
        QTest::newRow("trailing text") << QByteArray("{} x") << "unexpected text after the end";
        QTest::newRow("bad escape") << QByteArray(R"({"a": "\q"})") << "unknown escape \\q";
        QTest::newRow("deep nesting") << QByteArray(100000, '[') << "nested more than";
        QTest::newRow("empty file") << QByteArray() << "expected a value but found the end of the file";
    }

    void syntaxErrors()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, message);
        const ReadResult r = readNodeTree(json, "t.json", QDir::tempPath());
        QCOMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors.first().contains(message), qPrintable(r.errors.first()));
        QVERIFY(r.errors.first().startsWith("t.json: line "));
        QVERIFY(!r.rootRead);
        QVERIFY(!r.complete);
        QVERIFY(r.tree.nodes.isEmpty());
    }

    void unreadableFile()
    {
        const ReadResult r = loadNodeTree(QDir::tempPath() + "/drivescope-no-such-tree.json");
        QCOMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors.first().startsWith("drivescope-no-such-tree.json: cannot be read"), qPrintable(r.errors.first()));
        QVERIFY(!r.rootRead);
    }

    void includes()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("main.json"), R"({"include": ["demo/ata.json", "missing.json"],
            "nodes": {"/own": {"drive": true}, "/shared": {"label": "from main"}}})");
        writeFile(dir.filePath("demo/ata.json"), R"({"include": ["blob-user.json"],
            "system": {"bootParameter": "from ata"},
            "nodes": {"/ata": {"drive": true}, "/shared": {"label": "from ata"}}})");
        writeFile(dir.filePath("demo/blob-user.json"), R"({"nodes": {"/blob": {"sets": {"S": {"file": "b.bin"}}}}})");
        writeFile(dir.filePath("demo/b.bin"), "xy");
        const ReadResult r = loadNodeTree(dir.filePath("main.json"));
        QCOMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors.first().startsWith("missing.json: cannot be read"), qPrintable(r.errors.first()));
        QVERIFY(r.rootRead);
        QVERIFY(!r.complete);
        QStringList order;
        for (const NodeData &n : r.tree.nodes)
            order << n.path;
        QCOMPARE(order, QStringList({"/blob", "/ata", "/shared", "/own"}));
        QCOMPARE(r.tree.find("/shared")->label, QString("from main"));
        QCOMPARE(r.tree.bootParameter, QString("from ata"));
        QCOMPARE(r.tree.find("/blob")->providers[0].sets.first().second, PropertyValue{Variant::ofBuffer("xy")});
        for (const char *f : {"main.json", "demo/ata.json", "demo/blob-user.json", "demo/b.bin", "missing.json"})
            QVERIFY2(r.files.contains(QDir::cleanPath(dir.filePath(f))), qPrintable(f));
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
        QVERIFY2(r.errors.first().contains(R"(b.json: key "include": "a.json" includes itself)"), qPrintable(r.errors.first()));
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
