#include "platform/sim/OrderedJson.h"

#include <cctype>

namespace Services::Nodes::Sim::Json {

namespace {

class Parser {
public:
    explicit Parser(const QByteArray &data) : m_data(data) {}

    std::optional<Value> document(ParseError *error)
    {
        if (m_data.startsWith("\xEF\xBB\xBF"))
            m_pos = 3;
        skipBlanks();
        Value root;
        if (!value(root, 0)) {
            report(error);
            return std::nullopt;
        }
        skipBlanks();
        if (m_pos < m_data.size()) {
            fail(QStringLiteral("unexpected text after the end of the document"));
            report(error);
            return std::nullopt;
        }
        return root;
    }

private:
    const QByteArray &m_data;
    qsizetype m_pos = 0;
    int m_line = 1;
    qsizetype m_lineStart = 0;
    QString m_error;
    int m_errorLine = 0;
    int m_errorColumn = 0;

    int column() const { return int(m_pos - m_lineStart) + 1; }
    bool atEnd() const { return m_pos >= m_data.size(); }
    char peek() const { return atEnd() ? '\0' : m_data.at(m_pos); }

    bool fail(const QString &message)
    {
        if (m_error.isEmpty()) {
            m_error = message;
            m_errorLine = m_line;
            m_errorColumn = column();
        }
        return false;
    }

    void report(ParseError *error) const
    {
        if (error)
            *error = ParseError{m_error, m_errorLine, m_errorColumn};
    }

    static QString describe(char c)
    {
        if (c == '\0')
            return QStringLiteral("the end of the file");
        if (uchar(c) < 0x20 || uchar(c) >= 0x7F)
            return QStringLiteral("byte 0x%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
        return QStringLiteral("'%1'").arg(QLatin1Char(c));
    }

    void skipBlanks()
    {
        while (!atEnd()) {
            const char c = m_data.at(m_pos);
            if (c == '\n') {
                ++m_pos;
                ++m_line;
                m_lineStart = m_pos;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++m_pos;
            } else {
                break;
            }
        }
    }

    bool value(Value &out, int depth)
    {
        out.line = m_line;
        out.column = column();
        const char c = peek();
        switch (c) {
        case '{':
            return object(out, depth);
        case '[':
            return array(out, depth);
        case '"':
            out.type = Value::String;
            return string(out.text);
        case 't':
            out.type = Value::Bool;
            out.boolean = true;
            return literal("true");
        case 'f':
            out.type = Value::Bool;
            return literal("false");
        case 'n':
            out.type = Value::Null;
            return literal("null");
        default:
            if (c == '-' || (c >= '0' && c <= '9'))
                return number(out);
            return fail(QStringLiteral("expected a value but found %1").arg(describe(c)));
        }
    }

    bool literal(const char *word)
    {
        const QByteArray w(word);
        if (m_data.mid(m_pos, w.size()) != w)
            return fail(QStringLiteral("expected a value but found %1").arg(describe(peek())));
        m_pos += w.size();
        return true;
    }

    bool digits()
    {
        if (!(peek() >= '0' && peek() <= '9'))
            return fail(QStringLiteral("malformed number: expected a digit but found %1").arg(describe(peek())));
        while (peek() >= '0' && peek() <= '9')
            ++m_pos;
        return true;
    }

    bool number(Value &out)
    {
        const qsizetype start = m_pos;
        if (peek() == '-')
            ++m_pos;
        if (peek() == '0') {
            ++m_pos;
        } else if (!digits()) {
            return false;
        }
        if (peek() == '.') {
            ++m_pos;
            if (!digits())
                return false;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++m_pos;
            if (peek() == '+' || peek() == '-')
                ++m_pos;
            if (!digits())
                return false;
        }
        out.type = Value::Number;
        out.text = QString::fromLatin1(m_data.mid(start, m_pos - start));
        return true;
    }

    bool hex4(char16_t &unit)
    {
        if (m_pos + 4 > m_data.size())
            return fail(QStringLiteral("malformed \\u escape"));
        bool ok = false;
        const uint v = m_data.mid(m_pos, 4).toUInt(&ok, 16);
        for (qsizetype i = 0; i < 4; ++i) {
            if (!std::isxdigit(uchar(m_data.at(m_pos + i))))
                ok = false;
        }
        if (!ok)
            return fail(QStringLiteral("malformed \\u escape"));
        m_pos += 4;
        unit = char16_t(v);
        return true;
    }

    bool string(QString &out)
    {
        ++m_pos; // opening quote
        QByteArray raw;
        QString result;
        auto flush = [&] {
            if (!raw.isEmpty()) {
                result += QString::fromUtf8(raw);
                raw.clear();
            }
        };
        for (;;) {
            if (atEnd())
                return fail(QStringLiteral("unterminated string"));
            const char c = m_data.at(m_pos);
            if (c == '"') {
                ++m_pos;
                break;
            }
            if (uchar(c) < 0x20)
                return fail(QStringLiteral("control character %1 inside a string").arg(describe(c)));
            if (c != '\\') {
                // Copy the run of plain bytes in one go.
                qsizetype end = m_pos + 1;
                while (end < m_data.size()) {
                    const char d = m_data.at(end);
                    if (d == '"' || d == '\\' || uchar(d) < 0x20)
                        break;
                    ++end;
                }
                raw.append(m_data.constData() + m_pos, end - m_pos);
                m_pos = end;
                continue;
            }
            ++m_pos;
            const char e = peek();
            ++m_pos;
            switch (e) {
            case '"':
                raw.append('"');
                break;
            case '\\':
                raw.append('\\');
                break;
            case '/':
                raw.append('/');
                break;
            case 'b':
                raw.append('\b');
                break;
            case 'f':
                raw.append('\f');
                break;
            case 'n':
                raw.append('\n');
                break;
            case 'r':
                raw.append('\r');
                break;
            case 't':
                raw.append('\t');
                break;
            case 'u': {
                char16_t unit = 0;
                if (!hex4(unit))
                    return false;
                flush();
                if (QChar::isHighSurrogate(unit) && m_data.mid(m_pos, 2) == "\\u") {
                    m_pos += 2;
                    char16_t low = 0;
                    if (!hex4(low))
                        return false;
                    if (QChar::isLowSurrogate(low)) {
                        result += QChar(unit);
                        result += QChar(low);
                    } else {
                        result += QChar(QChar::ReplacementCharacter);
                        result += QChar(low);
                    }
                } else if (QChar::isSurrogate(unit)) {
                    result += QChar(QChar::ReplacementCharacter);
                } else {
                    result += QChar(unit);
                }
                break;
            }
            default:
                --m_pos;
                return fail(QStringLiteral("unknown escape \\%1 in a string").arg(QLatin1Char(e ? e : '?')));
            }
        }
        flush();
        out = result;
        return true;
    }

    bool array(Value &out, int depth)
    {
        if (depth >= MaxDepth)
            return fail(QStringLiteral("nested more than %1 levels deep").arg(MaxDepth));
        out.type = Value::Array;
        ++m_pos;
        skipBlanks();
        if (peek() == ']') {
            ++m_pos;
            return true;
        }
        for (;;) {
            skipBlanks();
            Value item;
            if (!value(item, depth + 1))
                return false;
            out.items.append(std::move(item));
            skipBlanks();
            const char c = peek();
            ++m_pos;
            if (c == ']')
                return true;
            if (c != ',') {
                --m_pos;
                return fail(QStringLiteral("expected ',' or ']' but found %1").arg(describe(c)));
            }
        }
    }

    bool object(Value &out, int depth)
    {
        if (depth >= MaxDepth)
            return fail(QStringLiteral("nested more than %1 levels deep").arg(MaxDepth));
        out.type = Value::Object;
        ++m_pos;
        skipBlanks();
        if (peek() == '}') {
            ++m_pos;
            return true;
        }
        for (;;) {
            skipBlanks();
            if (peek() != '"')
                return fail(QStringLiteral("expected a quoted key but found %1").arg(describe(peek())));
            QString key;
            if (!string(key))
                return false;
            skipBlanks();
            if (peek() != ':')
                return fail(QStringLiteral("expected ':' after key \"%1\" but found %2").arg(key, describe(peek())));
            ++m_pos;
            skipBlanks();
            Value item;
            if (!value(item, depth + 1))
                return false;
            out.members.append({key, std::move(item)});
            skipBlanks();
            const char c = peek();
            ++m_pos;
            if (c == '}')
                return true;
            if (c != ',') {
                --m_pos;
                return fail(QStringLiteral("expected ',' or '}' but found %1").arg(describe(c)));
            }
        }
    }
};

QString quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\') {
            out += u'\\';
            out += c;
        } else if (c.unicode() < 0x20) {
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    out += u'"';
    return out;
}

void compact(const Value &v, QString &out, int maxLength)
{
    if (out.size() > maxLength)
        return;
    switch (v.type) {
    case Value::Null:
        out += QStringLiteral("null");
        break;
    case Value::Bool:
        out += v.boolean ? QStringLiteral("true") : QStringLiteral("false");
        break;
    case Value::Number:
        out += v.text;
        break;
    case Value::String:
        out += quoted(v.text);
        break;
    case Value::Array:
        out += u'[';
        for (qsizetype i = 0; i < v.items.size() && out.size() <= maxLength; ++i) {
            if (i)
                out += u',';
            compact(v.items[i], out, maxLength);
        }
        out += u']';
        break;
    case Value::Object:
        out += u'{';
        for (qsizetype i = 0; i < v.members.size() && out.size() <= maxLength; ++i) {
            if (i)
                out += u',';
            out += quoted(v.members[i].first);
            out += u':';
            compact(v.members[i].second, out, maxLength);
        }
        out += u'}';
        break;
    }
}

} // namespace

const Value *Value::member(const QString &key) const
{
    for (const auto &m : members) {
        if (m.first == key)
            return &m.second;
    }
    return nullptr;
}

QString Value::toCompact(int maxLength) const
{
    QString out;
    compact(*this, out, maxLength);
    if (out.size() > maxLength)
        out = out.left(maxLength) + QStringLiteral("...");
    return out;
}

std::optional<Value> parse(const QByteArray &utf8, ParseError *error)
{
    return Parser(utf8).document(error);
}

std::optional<quint64> wholeNumber(const QString &numberText)
{
    if (numberText.isEmpty() || numberText.size() > 20)
        return std::nullopt;
    quint64 v = 0;
    for (const QChar c : numberText) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const quint64 digit = quint64(c.unicode() - u'0');
        if (v > (~quint64(0) - digit) / 10)
            return std::nullopt;
        v = v * 10 + digit;
    }
    return v;
}

} // namespace Services::Nodes::Sim::Json
