// The vocabulary of the IDENTIFY row tables: a row is a label, its translation
// key, a value rule and a condition; `RowList::add` walks a table of them.
// Tables cite the word and bit they decode as in the standard (w83:2).
#pragma once
#include "model/ata/Identify.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <span>

namespace Applications::DriveScope::Model::Identify {

// What a row's rules may look at.
struct Context {
    const Words &id;
    int level; // ATA standard level, 0 to 12
    bool cfa;  // CompactFlash device
};

using Odd = QVariant (*)(const Context &);
using Test = bool (*)(const Context &);

// A row's or section's condition: level in [minLevel, belowLevel), the bit
// (when given) set, CompactFlash only (when asked), and the test (when given).
struct When {
    int minLevel = 0;
    int belowLevel = 1000;
    int word = -1;
    int bit = 0;
    bool cfaOnly = false;
    Test test = nullptr;

    bool holds(const Context &c) const
    {
        return c.level >= minLevel && c.level < belowLevel && (word < 0 || c.id.bit(word, bit)) &&
               (!cfaOnly || c.cfa) && (!test || test(c));
    }
};

constexpr When always()
{
    return {};
}
constexpr When from(int level)
{
    return {.minLevel = level};
}
constexpr When below(int level)
{
    return {.belowLevel = level};
}
constexpr When fromBelow(int level, int belowLevel)
{
    return {.minLevel = level, .belowLevel = belowLevel};
}
constexpr When fromIf(int level, int word, int bit)
{
    return {.minLevel = level, .word = word, .bit = bit};
}
constexpr When ifBit(int word, int bit)
{
    return {.word = word, .bit = bit};
}
constexpr When cfaOnly()
{
    return {.cfaOnly = true};
}
constexpr When onlyIf(Test test)
{
    return {.test = test};
}

// A bit field of up to four words: (wide(word, words) >> shift) & mask.
struct Field {
    int word = 0;
    int words = 1;
    int shift = 0;
    quint64 mask = ~quint64(0);

    quint64 of(const Words &id) const { return (id.wide(word, words) >> shift) & mask; }
};

constexpr Field word(int w)
{
    return {.word = w};
}
constexpr Field words(int w, int count)
{
    return {.word = w, .words = count};
}
constexpr Field bits(int w, int shift, quint64 mask)
{
    return {.word = w, .shift = shift, .mask = mask};
}

struct Value {
    enum Kind { YesNo, Supported, NotSupported, SupportedEnabled, Choice, Number, Int, Raw, Text, Custom };
    Kind kind = Custom;
    int word = 0, bit = 0;   // the bit of yes/no, supported, choice
    int word2 = 0, bit2 = 0; // the enabled bit
    const char *trueText = nullptr, *trueKey = nullptr, *falseText = nullptr, *falseKey = nullptr;
    Field field{};
    const char *unit = nullptr; // untranslated pattern "%1 ns"
    bool trimmed = false;       // text without surrounding blanks
    Odd odd = nullptr;
};

// Y: "yes"/"no" of a bit.
constexpr Value Y(int w, int b)
{
    return {.kind = Value::YesNo, .word = w, .bit = b};
}
// S: "supported"/"-" of a bit.
constexpr Value S(int w, int b)
{
    return {.kind = Value::Supported, .word = w, .bit = b};
}
// S of the inverted bit: "supported" when the bit is clear.
constexpr Value notS(int w, int b)
{
    return {.kind = Value::NotSupported, .word = w, .bit = b};
}
// SE: supported bit and enabled bit.
constexpr Value SE(int w, int b, int w2, int b2)
{
    return {.kind = Value::SupportedEnabled, .word = w, .bit = b, .word2 = w2, .bit2 = b2};
}
constexpr Value choice(int w, int b, const char *trueText, const char *trueKey, const char *falseText,
                       const char *falseKey)
{
    return {.kind = Value::Choice,
            .word = w,
            .bit = b,
            .trueText = trueText,
            .trueKey = trueKey,
            .falseText = falseText,
            .falseKey = falseKey};
}
// The field as a locale-formatted text, optionally in a unit pattern.
constexpr Value number(Field f, const char *unit = nullptr)
{
    return {.kind = Value::Number, .field = f, .unit = unit};
}
// The field as a plain QVariant(int).
constexpr Value integer(Field f)
{
    return {.kind = Value::Int, .field = f};
}
// The field as an unsigned QVariant number.
constexpr Value raw(Field f)
{
    return {.kind = Value::Raw, .field = f};
}
// ATA text of `count` words from word `first`.
constexpr Value text(int first, int count, bool trimmed)
{
    return {.kind = Value::Text, .field = {.word = first, .words = count}, .trimmed = trimmed};
}
constexpr Value odd(Odd f)
{
    return {.kind = Value::Custom, .odd = f};
}

struct Row {
    const char *label;
    const char *key;
    Value value;
    When when = always();
};

struct Section {
    const char *label;
    const char *key;
    When when;
    std::span<const Row> rows;
};

// One line of the ATA tab.
struct AtaRow {
    QString label;
    QVariant value; // invalid for header rows
    bool header = false;
};

// Texts of this subsystem: translated in the program's domain, English as source.
QString tr(const char *text, const char *key);
QString na();                           // "n/a"
QString none();                         // "none"
QString unknownX(const QString &what);  // "Unknown (%1)"
QString hexText(quint64 v, int digits); // 0021h
QString numberText(quint64 v);          // locale digits

class RowList {
public:
    void addHeader(const char *text, const char *key);
    void addRow(const char *text, const char *key, const QVariant &value);
    void addYesNo(const char *text, const char *key, bool flag);
    void addSupported(const char *text, const char *key, bool flag);
    void addSupportedEnabled(const char *text, const char *key, bool supported, bool enabled);
    void addChoice(const char *text, const char *key, bool flag, const char *trueText, const char *trueKey,
                   const char *falseText, const char *falseKey);

    // Appends the rows of the table whose conditions hold.
    void add(std::span<const Row> rows, const Context &c);
    // The header and rows of a section when its condition holds.
    void add(const Section &section, const Context &c);

    QList<AtaRow> rows;
};

} // namespace Applications::DriveScope::Model::Identify
