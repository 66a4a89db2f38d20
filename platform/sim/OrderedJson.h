// A small JSON reader that keeps object members in file order and remembers
// where each value starts, so the node-tree reader can list names as written
// and point at the line of a bad entry. QJsonObject sorts keys; this does not.
#pragma once
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace Services::Nodes::Sim::Json {

struct Value {
    enum Type { Null, Bool, Number, String, Array, Object };

    Type type = Null;
    bool boolean = false;
    QString text;                         // String: the text; Number: the number as written
    QList<Value> items;                   // Array
    QList<QPair<QString, Value>> members; // Object, in file order (duplicates kept)
    int line = 0;                         // 1-based position of the value's first character
    int column = 0;

    bool isObject() const { return type == Object; }
    bool isArray() const { return type == Array; }
    bool isString() const { return type == String; }
    // The first member named `key`; nullptr when absent or not an object.
    const Value *member(const QString &key) const;
    // Compact JSON text of the value, cut with "..." after about maxLength characters.
    QString toCompact(int maxLength = 80) const;
};

struct ParseError {
    QString message;
    int line = 0;
    int column = 0;
};

// Nesting deeper than this is refused rather than recursed into.
constexpr int MaxDepth = 128;

// Parses one UTF-8 JSON document (an optional byte-order mark is skipped).
// Nothing on failure, with the reason and its position in `error`.
std::optional<Value> parse(const QByteArray &utf8, ParseError *error);

// A JSON number as written, when it is a whole number from 0 to 2^64 - 1.
std::optional<quint64> wholeNumber(const QString &numberText);

} // namespace Services::Nodes::Sim::Json
