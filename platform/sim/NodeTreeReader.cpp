#include "platform/sim/NodeTreeReader.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/NumberParse.h"
#include "platform/VariantJson.h"
#include "platform/sim/OrderedJson.h"

namespace Services::Nodes::Sim {

const NodeData *NodeTree::find(const QString &path) const
{
    const auto it = m_index.constFind(path);
    return it == m_index.cend() ? nullptr : &nodes[*it];
}

void NodeTree::put(NodeData node)
{
    const auto it = m_index.constFind(node.path);
    if (it != m_index.cend()) {
        nodes[*it] = std::move(node);
        return;
    }
    m_index.insert(node.path, nodes.size());
    nodes.append(std::move(node));
}

QByteArray contentDigest(const QByteArray &content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Sha1);
}

QByteArray fileDigest(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return QByteArray();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!hash.addData(&file))
        return QByteArray();
    return hash.result();
}

namespace {

using Json::Value;

const QStringList FailOperations = {"open", "provider", "generic", "storage", "lockable", "read", "request"};

// One tree file being read: its name in messages and where its relative paths start.
struct Source {
    QString display;
    QString dir;
    QString absolute;
};

QString quote(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString typeName(const Value &v)
{
    switch (v.type) {
    case Value::Null:
        return QStringLiteral("null");
    case Value::Bool:
        return QStringLiteral("a true/false value");
    case Value::Number:
        return QStringLiteral("a number");
    case Value::String:
        return QStringLiteral("a string");
    case Value::Array:
        return QStringLiteral("an array");
    case Value::Object:
        return QStringLiteral("an object");
    }
    return QString();
}

std::optional<quint64> parseIntegerText(const QString &text)
{
    const QString t = text.trimmed();
    quint64 v = 0;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        return StrConv::toUnsigned(t, v) ? std::optional<quint64>(v) : std::nullopt;
    return Json::wholeNumber(t);
}

QString resolve(const QString &dir, const QString &path)
{
    return QDir::cleanPath(QDir::isAbsolutePath(path) ? path : dir + QLatin1Char('/') + path);
}

class Reader {
public:
    ReadResult result;

    void readDocument(const QByteArray &bytes, const Source &src, int depth)
    {
        Json::ParseError pe;
        const std::optional<Value> root = Json::parse(bytes, &pe);
        if (!root) {
            error(src, QStringLiteral("line %1, column %2").arg(pe.line).arg(pe.column),
                  QStringLiteral("not valid JSON: %1").arg(pe.message));
            result.complete = false;
            return;
        }
        if (depth == 0)
            result.rootRead = true;
        if (!root->isObject()) {
            error(src, QString(), QStringLiteral("the file must hold one JSON object, not %1").arg(typeName(*root)));
            return;
        }
        m_stack.append(src.absolute);
        // Included files first, so that this file's own entries override theirs.
        if (const Value *inc = root->member(QStringLiteral("include")))
            includes(*inc, src, depth);
        for (const auto &[key, value] : std::as_const(root->members)) {
            if (key == QLatin1String("include"))
                continue;
            if (key == QLatin1String("system"))
                system(value, src);
            else if (key == QLatin1String("nodes"))
                nodes(value, src);
            else if (key == QLatin1String("companions"))
                companions(value, src);
            else
                error(src, QString(), QStringLiteral("unknown key %1 (ignored)").arg(quote(key)));
        }
        m_stack.removeLast();
    }

    void readFile(const QString &absolute, const QString &display, int depth)
    {
        result.files.insert(absolute, QByteArray());
        const Source src{display, QFileInfo(absolute).absolutePath(), absolute};
        QFile file(absolute);
        if (!QFileInfo(absolute).isFile()) {
            error(src, QString(),
                  QFileInfo::exists(absolute) ? QStringLiteral("cannot be read: not a file")
                                              : QStringLiteral("cannot be read: no such file"));
            result.complete = false;
            return;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            error(src, QString(), QStringLiteral("cannot be read: %1").arg(file.errorString()));
            result.complete = false;
            return;
        }
        const QByteArray bytes = file.readAll();
        result.files.insert(absolute, contentDigest(bytes));
        readDocument(bytes, src, depth);
    }

private:
    QStringList m_stack;

    void error(const Source &src, const QString &place, const QString &sentence)
    {
        QString text = src.display + QStringLiteral(": ");
        if (!place.isEmpty())
            text += place + QStringLiteral(": ");
        result.errors.append(text + sentence);
    }

    void includes(const Value &v, const Source &src, int depth)
    {
        const QString place = QStringLiteral("key \"include\"");
        if (!v.isArray()) {
            error(src, place, QStringLiteral("expected an array of file names, not %1").arg(typeName(v)));
            return;
        }
        for (const Value &item : v.items) {
            if (!item.isString() || item.text.isEmpty()) {
                error(src, place, QStringLiteral("expected a file name, not %1").arg(item.toCompact()));
                continue;
            }
            const QString absolute = resolve(src.dir, item.text);
            const QString display = QDir::isAbsolutePath(item.text)
                                        ? item.text
                                        : QDir::cleanPath(QFileInfo(src.display).path() + QLatin1Char('/') + item.text);
            if (m_stack.contains(absolute)) {
                error(src, place,
                      QStringLiteral("%1 includes itself (an include cycle); skipped").arg(quote(item.text)));
                continue;
            }
            if (depth + 1 > MaxIncludeDepth) {
                error(src, place,
                      QStringLiteral("%1 is nested more than %2 includes deep; skipped")
                          .arg(quote(item.text))
                          .arg(MaxIncludeDepth));
                continue;
            }
            readFile(absolute, display, depth + 1);
        }
    }

    void system(const Value &v, const Source &src)
    {
        const QString place = QStringLiteral("key \"system\"");
        if (!v.isObject()) {
            error(src, place, QStringLiteral("expected an object, not %1").arg(typeName(v)));
            return;
        }
        for (const auto &[key, value] : v.members) {
            if (key == QLatin1String("hosted")) {
                if (value.type == Value::Bool)
                    result.tree.hosted = value.boolean;
                else
                    error(src, QStringLiteral("system, key \"hosted\""),
                          QStringLiteral("expected true or false, not %1").arg(value.toCompact()));
            } else if (key == QLatin1String("bootParameter")) {
                if (value.isString())
                    result.tree.bootParameter = value.text;
                else
                    error(src, QStringLiteral("system, key \"bootParameter\""),
                          QStringLiteral("expected a string, not %1").arg(value.toCompact()));
            } else {
                error(src, place, QStringLiteral("unknown key %1 (ignored)").arg(quote(key)));
            }
        }
    }

    void nodes(const Value &v, const Source &src)
    {
        if (!v.isObject()) {
            error(src, QStringLiteral("key \"nodes\""), QStringLiteral("expected an object, not %1").arg(typeName(v)));
            return;
        }
        QSet<QString> seen;
        for (const auto &[path, entry] : v.members) {
            const QString place = QStringLiteral("node ") + quote(path);
            if (path.isEmpty()) {
                error(src, place, QStringLiteral("a node needs a path; skipped"));
                continue;
            }
            if (seen.contains(path)) {
                error(src, place, QStringLiteral("given twice in this file; the first entry is kept"));
                continue;
            }
            seen.insert(path);
            if (!entry.isObject()) {
                error(src, place, QStringLiteral("expected an object, not %1; skipped").arg(typeName(entry)));
                continue;
            }
            result.tree.put(node(path, entry, src, place));
        }
    }

    NodeData node(const QString &path, const Value &v, const Source &src, const QString &place)
    {
        NodeData n;
        n.path = path;
        n.label = path;
        n.canonical = path;
        n.providers.insert(0, ProviderData());
        for (const auto &[key, value] : v.members) {
            const QString at = place + QStringLiteral(", key ") + quote(key);
            if (key == QLatin1String("drive")) {
                if (value.type == Value::Bool)
                    n.drive = value.boolean;
                else
                    error(src, at, QStringLiteral("expected true or false, not %1").arg(value.toCompact()));
            } else if (key == QLatin1String("label") || key == QLatin1String("canonical")) {
                if (value.isString() && !value.text.isEmpty())
                    (key == QLatin1String("label") ? n.label : n.canonical) = value.text;
                else
                    error(src, at, QStringLiteral("expected a non-empty string, not %1").arg(value.toCompact()));
            } else if (key == QLatin1String("properties")) {
                n.providers[0].properties = namedValues(value, src, place, QStringLiteral("property"));
            } else if (key == QLatin1String("sets")) {
                n.providers[0].sets = namedValues(value, src, place, QStringLiteral("set"));
            } else if (key == QLatin1String("providers")) {
                providers(n, value, src, place);
            } else if (key == QLatin1String("storage")) {
                n.storage = storage(value, src, at);
            } else if (key == QLatin1String("fail")) {
                n.fail = fail(value, src, at);
            } else {
                error(src, place, QStringLiteral("unknown key %1 (ignored)").arg(quote(key)));
            }
        }
        return n;
    }

    void providers(NodeData &n, const Value &v, const Source &src, const QString &place)
    {
        if (!v.isObject()) {
            error(src, place + QStringLiteral(", key \"providers\""),
                  QStringLiteral("expected an object, not %1").arg(typeName(v)));
            return;
        }
        for (const auto &[key, value] : v.members) {
            const QString at = place + QStringLiteral(", provider ") + quote(key);
            const std::optional<quint64> index = Json::wholeNumber(key);
            if (!index || *index == 0 || *index > 0xFFFF) {
                error(src, at, QStringLiteral("a provider index is a whole number from 1 to 65535; skipped"));
                continue;
            }
            if (n.providers.contains(int(*index))) {
                error(src, at, QStringLiteral("given twice; the first entry is kept"));
                continue;
            }
            if (!value.isObject()) {
                error(src, at, QStringLiteral("expected an object, not %1; skipped").arg(typeName(value)));
                continue;
            }
            ProviderData p;
            for (const auto &[pkey, pvalue] : value.members) {
                if (pkey == QLatin1String("properties"))
                    p.properties = namedValues(pvalue, src, at, QStringLiteral("property"));
                else if (pkey == QLatin1String("sets"))
                    p.sets = namedValues(pvalue, src, at, QStringLiteral("set"));
                else
                    error(src, at, QStringLiteral("unknown key %1 (ignored)").arg(quote(pkey)));
            }
            n.providers.insert(int(*index), p);
        }
    }

    NamedValues namedValues(const Value &v, const Source &src, const QString &place, const QString &what)
    {
        NamedValues out;
        if (!v.isObject()) {
            error(src, place + QStringLiteral(", key ") + quote(what == QLatin1String("set") ? "sets" : "properties"),
                  QStringLiteral("expected an object, not %1").arg(typeName(v)));
            return out;
        }
        QSet<QString> seen;
        for (const auto &[name, value] : v.members) {
            const QString at = place + QStringLiteral(", ") + what + QLatin1Char(' ') + quote(name);
            if (seen.contains(name)) {
                error(src, at, QStringLiteral("given twice; the first entry is kept"));
                continue;
            }
            seen.insert(name);
            out.append({name, propertyValue(value, src, at)});
        }
        return out;
    }

    PropertyValue propertyValue(const Value &v, const Source &src, const QString &place)
    {
        PropertyValue out;
        if (v.isArray()) {
            for (const Value &item : v.items)
                out.append(element(item, src, place));
        } else {
            out.append(element(v, src, place));
        }
        return out;
    }

    Variant element(const Value &v, const Source &src, const QString &place)
    {
        switch (v.type) {
        case Value::Null:
            return Variant::none();
        case Value::Number:
            if (const auto n = Json::wholeNumber(v.text))
                return Variant::ofInt(*n);
            error(src, place, QStringLiteral("%1 is not a whole number from 0 to 2^64-1").arg(v.text));
            return Variant::none();
        case Value::String:
            return Variant::ofText(v.text);
        case Value::Array: {
            PropertyValue items;
            for (const Value &item : v.items)
                items.append(element(item, src, place));
            return Variant::ofList(items);
        }
        case Value::Object:
            return objectElement(v, src, place);
        case Value::Bool:
            break;
        }
        error(src, place, QStringLiteral("unknown element shape %1").arg(v.toCompact()));
        return Variant::none();
    }

    Variant objectElement(const Value &v, const Source &src, const QString &place)
    {
        static const QStringList kinds = {"int", "text", "buffer", "file", "list", "none"};
        QString name;
        const Value *name_ = v.member(QStringLiteral("name"));
        if (name_) {
            if (name_->isString())
                name = name_->text;
            else
                error(src, place, QStringLiteral("an element name must be a string, not %1").arg(name_->toCompact()));
        }
        QString kind;
        const Value *body = nullptr;
        int kindCount = 0;
        bool unknown = false;
        for (const auto &[key, value] : v.members) {
            if (key == QLatin1String("name"))
                continue;
            if (kinds.contains(key)) {
                ++kindCount;
                kind = key;
                body = &value;
            } else {
                unknown = true;
            }
        }
        if (unknown || kindCount != 1) {
            error(src, place, QStringLiteral("unknown element shape %1").arg(v.toCompact()));
            return Variant::none(name);
        }
        auto bad = [&](const QString &expected) {
            error(src, place, QStringLiteral("%1 in %2").arg(expected, v.toCompact()));
            return Variant::none(name);
        };
        if (kind == QLatin1String("int")) {
            std::optional<quint64> n;
            if (body->type == Value::Number)
                n = Json::wholeNumber(body->text);
            else if (body->isString())
                n = parseIntegerText(body->text);
            if (!n)
                return bad(QStringLiteral("\"int\" needs a whole number from 0 to 2^64-1 (decimal or \"0x\" text)"));
            return Variant::ofInt(*n, name);
        }
        if (kind == QLatin1String("text")) {
            if (!body->isString())
                return bad(QStringLiteral("\"text\" needs a string"));
            return Variant::ofText(body->text, name);
        }
        if (kind == QLatin1String("buffer")) {
            const std::optional<QByteArray> bytes = body->isString() ? VariantJson::hexBytes(body->text) : std::nullopt;
            if (!bytes)
                return bad(QStringLiteral("\"buffer\" needs pairs of hexadecimal digits"));
            return Variant::ofBuffer(*bytes, name);
        }
        if (kind == QLatin1String("file")) {
            if (!body->isString() || body->text.isEmpty())
                return bad(QStringLiteral("\"file\" needs a file name"));
            return fileElement(body->text, name, src, place);
        }
        if (kind == QLatin1String("list")) {
            if (!body->isArray())
                return bad(QStringLiteral("\"list\" needs an array"));
            PropertyValue items;
            for (const Value &item : body->items)
                items.append(element(item, src, place));
            return Variant::ofList(items, name);
        }
        return Variant::none(name);
    }

    Variant fileElement(const QString &fileName, const QString &name, const Source &src, const QString &place)
    {
        const QString absolute = resolve(src.dir, fileName);
        result.files.insert(absolute, QByteArray());
        QFile file(absolute);
        if (!QFileInfo(absolute).isFile()) {
            error(src, place,
                  QStringLiteral("buffer file %1 cannot be read: %2")
                      .arg(quote(fileName), QFileInfo::exists(absolute) ? QStringLiteral("not a file")
                                                                        : QStringLiteral("no such file")));
            return Variant::none(name);
        }
        if (!file.open(QIODevice::ReadOnly)) {
            error(src, place,
                  QStringLiteral("buffer file %1 cannot be read: %2").arg(quote(fileName), file.errorString()));
            return Variant::none(name);
        }
        const QByteArray bytes = file.read(MaxBufferFileSize + 1);
        if (bytes.size() > MaxBufferFileSize) {
            result.files.insert(absolute, fileDigest(absolute));
            error(src, place,
                  QStringLiteral("buffer file %1 is larger than %2 bytes").arg(quote(fileName)).arg(MaxBufferFileSize));
            return Variant::none(name);
        }
        result.files.insert(absolute, contentDigest(bytes));
        return Variant::ofBuffer(bytes, name);
    }

    std::optional<StorageData> storage(const Value &v, const Source &src, const QString &place)
    {
        const QString dropped = QStringLiteral("; the node has no storage");
        if (!v.isObject()) {
            error(src, place, QStringLiteral("expected an object, not %1").arg(typeName(v)) + dropped);
            return std::nullopt;
        }
        StorageData s;
        QString problem;
        bool haveSize = false, haveCount = false;
        for (const auto &[key, value] : v.members) {
            const std::optional<quint64> parsed =
                value.type == Value::Number ? Json::wholeNumber(value.text) : std::nullopt;
            const bool whole = parsed.has_value();
            const quint64 n = parsed.value_or(0);
            if (key == QLatin1String("blockSize")) {
                if (whole && n > 0 && n <= 0x100000) {
                    s.blockSize = n;
                    haveSize = true;
                } else if (problem.isEmpty()) {
                    problem = QStringLiteral("\"blockSize\" needs a whole number from 1 to 1048576, not %1")
                                  .arg(value.toCompact());
                }
            } else if (key == QLatin1String("blockCount")) {
                if (whole) {
                    s.blockCount = n;
                    haveCount = true;
                } else if (problem.isEmpty()) {
                    problem = QStringLiteral("\"blockCount\" needs a whole number, not %1").arg(value.toCompact());
                }
            } else if (key == QLatin1String("image")) {
                if (value.isString() && !value.text.isEmpty())
                    s.image = resolve(src.dir, value.text);
                else if (problem.isEmpty())
                    problem = QStringLiteral("\"image\" needs a file name, not %1").arg(value.toCompact());
            } else {
                error(src, place, QStringLiteral("unknown key %1 (ignored)").arg(quote(key)));
            }
        }
        if (problem.isEmpty() && (!haveSize || !haveCount))
            problem = QStringLiteral("needs both \"blockSize\" and \"blockCount\"");
        if (problem.isEmpty() && s.blockCount > ~quint64(0) / s.blockSize)
            problem = QStringLiteral("blockSize x blockCount does not fit in 64 bits");
        if (!problem.isEmpty()) {
            error(src, place, problem + dropped);
            return std::nullopt;
        }
        if (!s.image.isEmpty()) {
            const QFileInfo info(s.image);
            if (!info.isFile() || !info.isReadable())
                error(src, place,
                      QStringLiteral("image file %1 cannot be read; reads of this node fail")
                          .arg(quote(v.member(QStringLiteral("image"))->text)));
        }
        return s;
    }

    QStringList fail(const Value &v, const Source &src, const QString &place)
    {
        QStringList out;
        const QList<Value> items = v.isArray() ? v.items : QList<Value>{v};
        for (const Value &item : items) {
            if (item.isString() && FailOperations.contains(item.text))
                out.append(item.text);
            else
                error(src, place,
                      QStringLiteral("unknown operation %1 (known: %2)")
                          .arg(item.toCompact(), FailOperations.join(", ")));
        }
        return out;
    }

    void companions(const Value &v, const Source &src)
    {
        if (!v.isObject()) {
            error(src, QStringLiteral("key \"companions\""),
                  QStringLiteral("expected an object, not %1").arg(typeName(v)));
            return;
        }
        for (const auto &[text, value] : v.members) {
            const QString place = QStringLiteral("companions of ") + quote(text);
            if (!value.isArray()) {
                error(src, place, QStringLiteral("expected an array, not %1").arg(typeName(value)));
                continue;
            }
            QList<CompanionNode> list;
            for (const Value &item : value.items) {
                const Value *path = item.member(QStringLiteral("path"));
                const Value *type = item.member(QStringLiteral("type"));
                std::optional<quint64> t = 0;
                if (type)
                    t = type->type == Value::Number ? Json::wholeNumber(type->text) : std::nullopt;
                if (!item.isObject() || !path || !path->isString() || !t || *t > 0x7FFFFFFF) {
                    error(src, place,
                          QStringLiteral("expected {\"path\": \"...\", \"type\": n}, not %1").arg(item.toCompact()));
                    continue;
                }
                list.append(CompanionNode{path->text, int(*t)});
            }
            result.tree.companions.insert(text, list);
        }
    }
};

} // namespace

ReadResult readNodeTree(const QByteArray &json, const QString &fileName, const QString &baseDir)
{
    Reader reader;
    reader.result.complete = true;
    const QString absolute = resolve(QDir(baseDir).absolutePath(), fileName);
    reader.result.files.insert(absolute, contentDigest(json));
    reader.readDocument(json, Source{fileName, QDir(baseDir).absolutePath(), absolute}, 0);
    return reader.result;
}

ReadResult loadNodeTree(const QString &path)
{
    Reader reader;
    reader.result.complete = true;
    const QFileInfo info(path);
    reader.readFile(QDir::cleanPath(info.absoluteFilePath()), info.fileName(), 0);
    return reader.result;
}

} // namespace Services::Nodes::Sim
