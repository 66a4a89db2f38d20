#include "platform/Variant.h"

Variant Variant::none(const QString &name)
{
    Variant v;
    v.name = name;
    return v;
}

Variant Variant::ofInt(quint64 value, const QString &name)
{
    Variant v;
    v.kind = Integer;
    v.integer = value;
    v.name = name;
    return v;
}

Variant Variant::ofText(const QString &value, const QString &name)
{
    Variant v;
    v.kind = Text;
    v.text = value.isNull() ? QString("") : value;
    v.name = name;
    return v;
}

Variant Variant::ofBuffer(const QByteArray &value, const QString &name)
{
    Variant v;
    v.kind = Buffer;
    v.buffer = value.isNull() ? QByteArray("") : value;
    v.name = name;
    return v;
}

Variant Variant::ofList(const QList<Variant> &value, const QString &name)
{
    Variant v;
    v.kind = List;
    v.list = value;
    v.name = name;
    return v;
}

bool Variant::operator==(const Variant &o) const
{
    return kind == o.kind && integer == o.integer && text == o.text && buffer == o.buffer && list == o.list &&
           name == o.name;
}

bool isMissing(const PropertyValue &value)
{
    return value.isEmpty() || (value.size() == 1 && value.first().kind == Variant::None);
}
