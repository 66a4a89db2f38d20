#include "platform/VariantJson.h"

#include "platform/NumberParse.h"

namespace VariantJson {

namespace {

constexpr quint64 exactLimit = quint64(1) << 53;

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

std::optional<quint64> integerFrom(const QJsonValue &json)
{
    if (json.isDouble()) {
        const double d = json.toDouble();
        if (d >= 0 && d <= double(exactLimit) && d == double(quint64(d)))
            return quint64(d);
        return std::nullopt;
    }
    const QString text = json.toString();
    quint64 n = 0;
    if (json.isString() && text.startsWith(QLatin1String("0x")) && StrConv::toUnsigned(text, n))
        return n;
    return std::nullopt;
}

std::optional<Variant> elementFrom(const QJsonValue &item)
{
    const QJsonObject o = item.toObject();
    const QJsonValue name = o.value(QStringLiteral("name"));
    if (!item.isObject() || o.size() != (name.isUndefined() ? 1 : 2) || !(name.isUndefined() || name.isString()))
        return std::nullopt;
    Variant v;
    if (name.isString())
        v.name = name.toString();
    if (o.contains(QStringLiteral("int"))) {
        const auto n = integerFrom(o.value(QStringLiteral("int")));
        if (!n)
            return std::nullopt;
        v.kind = Variant::Integer;
        v.integer = *n;
    } else if (o.value(QStringLiteral("text")).isString()) {
        v.kind = Variant::Text;
        v.text = o.value(QStringLiteral("text")).toString();
    } else if (o.value(QStringLiteral("buffer")).isString()) {
        const auto bytes = hexBytes(o.value(QStringLiteral("buffer")).toString());
        if (!bytes)
            return std::nullopt;
        v.kind = Variant::Buffer;
        v.buffer = *bytes;
    } else if (o.contains(QStringLiteral("list"))) {
        const auto inner = valueFrom(o.value(QStringLiteral("list")));
        if (!inner)
            return std::nullopt;
        v.kind = Variant::List;
        v.list = *inner;
    } else if (o.value(QStringLiteral("none")) != QJsonValue(true)) {
        return std::nullopt;
    }
    return v;
}

} // namespace

QJsonObject element(const Variant &v, Hex hex)
{
    QJsonObject o;
    if (!v.name.isNull())
        o.insert(QStringLiteral("name"), v.name);
    switch (v.kind) {
    case Variant::Integer:
        if (v.integer < exactLimit)
            o.insert(QStringLiteral("int"), qint64(v.integer));
        else
            o.insert(QStringLiteral("int"), QStringLiteral("0x%1").arg(v.integer, 0, 16));
        break;
    case Variant::Text:
        o.insert(QStringLiteral("text"), v.text);
        break;
    case Variant::Buffer:
        o.insert(QStringLiteral("buffer"),
                 QString::fromLatin1(hex == Hex::Spaced ? v.buffer.toHex(' ') : v.buffer.toHex()));
        break;
    case Variant::List:
        o.insert(QStringLiteral("list"), value(v.list, hex));
        break;
    case Variant::None:
        o.insert(QStringLiteral("none"), true);
        break;
    }
    return o;
}

QJsonArray value(const PropertyValue &value, Hex hex)
{
    QJsonArray array;
    for (const Variant &v : value)
        array.append(element(v, hex));
    return array;
}

std::optional<QByteArray> hexBytes(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() / 2);
    int high = -1;
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        const int d = hexDigit(c);
        if (d < 0)
            return std::nullopt;
        if (high < 0) {
            high = d;
        } else {
            out.append(char(high << 4 | d));
            high = -1;
        }
    }
    if (high >= 0)
        return std::nullopt;
    return out.isNull() ? QByteArray("") : out;
}

std::optional<PropertyValue> valueFrom(const QJsonValue &json)
{
    if (!json.isArray())
        return std::nullopt;
    PropertyValue value;
    for (const QJsonValue &item : json.toArray()) {
        const auto v = elementFrom(item);
        if (!v)
            return std::nullopt;
        value.append(*v);
    }
    return value;
}

} // namespace VariantJson
