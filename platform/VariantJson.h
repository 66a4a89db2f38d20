// Property values in the node-tree files' JSON form, shared by the snapshot
// writer and the helper's line protocol: {"int":n} (text "0x.." above 2^53,
// where JSON numbers stop being exact), {"text":..}, {"buffer":"hex"},
// {"list":[..]}, {"none":true}, each with an optional "name".
#pragma once
#include <QJsonArray>
#include <QJsonObject>
#include <optional>

#include "platform/Variant.h"

namespace VariantJson {

// Snapshots space their hex bytes for the reader; the helper's replies do not.
enum class Hex { Spaced, Compact };

QJsonObject element(const Variant &v, Hex hex = Hex::Spaced);
QJsonArray value(const PropertyValue &value, Hex hex = Hex::Spaced);

// Pairs of hexadecimal digits, blanks between them allowed.
std::optional<QByteArray> hexBytes(const QString &text);
// The strict reading of value(): anything else is refused whole.
std::optional<PropertyValue> valueFrom(const QJsonValue &json);

} // namespace VariantJson
