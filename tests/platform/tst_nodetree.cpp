// The node-tree reader: element shapes, key order, includes, and errors that
// name the file and the place while the rest of the tree still loads.
#include <QFile>
#include <QtTest>

#include "TestSupport.h"
#include "platform/sim/NodeTreeReader.h"

using namespace Services::Nodes::Sim;

Q_DECLARE_METATYPE(PropertyValue)

namespace {

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
            out += QString::asprintf("=== %s %s: root read %d, complete %d, nodes %lld", kind.constData(),
                                     name.constData(), r.rootRead, r.complete, qlonglong(r.tree.nodes.size())) +
                   kept + '\n';
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
                const ReadResult r =
                    readNodeTree(R"({"nodes": {"/n": {"properties": {"P": )" + json + R"(, "OK": 7}}}})", "t.json",
                                 QDir::tempPath());
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
    // included files come first and the including file wins; errors in an
    // included file name it, a cycle is cut once, and so is a chain below the
    // deepest include allowed. The trees as read, with
    // the digests of the files watched, are kept in
    // tests/expected/platform/nodetree-shapes.txt.
    void shapes()
    {
        const QString dir = QStringLiteral(TESTS_DIR "/data/nodetree");
        QString out;
        for (const char *file :
             {"order.json", "defaults.json", "main.json", "include-error.json", "cycle-a.json", "chain/c0.json"}) {
            const ReadResult r = loadNodeTree(dir + '/' + file);
            out += QString::asprintf("=== %s: root read %d, complete %d, hosted %d, boot \"%s\"\n", file, r.rootRead,
                                     r.complete, r.tree.hosted, qPrintable(r.tree.bootParameter));
            for (const QString &e : r.errors)
                out += e + '\n';
            for (const NodeData &n : r.tree.nodes) {
                QStringList providers;
                for (int index : n.providers.keys())
                    providers << QString::number(index);
                out += QStringLiteral("%1 drive %2, label \"%3\", canonical \"%4\", providers %5")
                           .arg(n.path, QString::number(n.drive), n.label, n.canonical, providers.join(' '));
                if (n.storage)
                    out += QStringLiteral(", blocks %1 x %2").arg(n.storage->blockCount).arg(n.storage->blockSize);
                out += '\n';
                for (auto p = n.providers.cbegin(); p != n.providers.cend(); ++p) {
                    for (const auto &[entries, kind] : {std::pair{&p->properties, ""}, std::pair{&p->sets, "set "}})
                        for (const auto &[key, value] : *entries)
                            out += QStringLiteral("  [%1] %2%3 = %4\n")
                                       .arg(QString::number(p.key()), kind, key, TestSupport::shownValue(value));
                }
            }
            for (auto c = r.tree.companions.cbegin(); c != r.tree.companions.cend(); ++c)
                for (const auto &companion : c.value())
                    out += QString::asprintf("companion of %s: %s type %d\n", qPrintable(c.key()),
                                             qPrintable(companion.path), companion.type);
            out += QStringLiteral("files:");
            for (auto f = r.files.cbegin(); f != r.files.cend(); ++f)
                out += ' ' + QString(f.key()).remove(dir + '/') + ' ' +
                       (f.value().isEmpty() ? QStringLiteral("unread") : f.value().toHex().left(8));
            out += '\n';
        }
        COMPARE_GOLDEN("platform/nodetree-shapes.txt", out);
    }
};

QTEST_GUILESS_MAIN(TestNodeTree)
#include "tst_nodetree.moc"
