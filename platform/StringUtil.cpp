// Size texts and word helpers with the prefixes and separators chosen at start-up.
#include "platform/StringUtil.h"

#include <QReadWriteLock>

#include <cmath>

namespace StringUtil {

namespace {

struct Formatting {
    QList<uint> biPrefixes;
    QList<uint> siPrefixes;
    QString unitSeparator;
    QString decimalSeparator;
    QString thousandSeparator;
};

Formatting defaults()
{
    return Formatting{QStringLiteral(" KMGTPEZY").toUcs4(), QStringLiteral(" kMGTPEZY").toUcs4(), QStringLiteral(" "),
                      QStringLiteral("."), QStringLiteral(",")};
}

QReadWriteLock lock;
Formatting current = defaults();

QString character(quint32 code)
{
    return code ? QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1) : QString();
}

// Digits in groups of three, joined by `separator`.
QString groupedDigits(QString digits, const QString &separator)
{
    if (separator.isEmpty())
        return digits;
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, separator);
    return digits;
}

QString grouped(quint64 value, const QString &separator)
{
    return groupedDigits(QString::number(value), separator);
}

} // namespace

void setBIPrefixes(const QString &prefixes)
{
    QWriteLocker l(&lock);
    current.biPrefixes = prefixes.isEmpty() ? defaults().biPrefixes : prefixes.toUcs4();
}

void setSIPrefixes(const QString &prefixes)
{
    QWriteLocker l(&lock);
    current.siPrefixes = prefixes.isEmpty() ? defaults().siPrefixes : prefixes.toUcs4();
}

void setUnitSeparator(const QString &separator)
{
    QWriteLocker l(&lock);
    current.unitSeparator = separator;
}

void setDecimalSeparator(quint32 code)
{
    QWriteLocker l(&lock);
    // Without a decimal separator "1.5" and "15" would read alike.
    current.decimalSeparator = code ? character(code) : defaults().decimalSeparator;
}

void setThousandSeparator(quint32 code)
{
    QWriteLocker l(&lock);
    current.thousandSeparator = character(code); // 0: no grouping
}

void resetFormatting()
{
    QWriteLocker l(&lock);
    current = defaults();
}

QString formatSizesSmart(quint64 size, bool si)
{
    Formatting f;
    {
        QReadLocker l(&lock);
        f = current;
    }
    const QList<uint> &prefixes = si ? f.siPrefixes : f.biPrefixes;
    const double base = si ? 1000.0 : 1024.0;
    const int top = int(prefixes.size()) - 1;

    // The largest multiple that leaves at least 1; one decimal, dropped when it is 0.
    int exponent = 0;
    double scaled = double(size);
    while (exponent < top && scaled >= base) {
        scaled /= base;
        ++exponent;
    }
    quint64 tenths = quint64(std::llround(scaled * 10.0));
    if (exponent > 0 && exponent < top && tenths >= quint64(base * 10.0)) {
        // 999.96 k rounds to 1000.0 k: say 1 M instead.
        ++exponent;
        scaled /= base;
        tenths = quint64(std::llround(scaled * 10.0));
    }

    QString text;
    if (exponent == 0) {
        text = grouped(size, f.thousandSeparator);
    } else {
        text = grouped(tenths / 10, f.thousandSeparator);
        if (tenths % 10)
            text += f.decimalSeparator + QString::number(tenths % 10);
    }
    text += f.unitSeparator;
    const QString prefix = QString::fromUcs4(reinterpret_cast<const char32_t *>(&prefixes[exponent]), 1);
    // Position 0 is the blank "no multiple" prefix: the unit follows the separator directly.
    if (!prefix.trimmed().isEmpty())
        text += prefix;
    return text;
}

QString groupDigits(const QString &digits)
{
    QReadLocker l(&lock);
    return groupedDigits(digits, current.thousandSeparator);
}

QStringList split(const QString &text)
{
    QStringList words;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool blank = i == text.size() || text.at(i).isSpace();
        if (blank && start >= 0) {
            words << text.mid(start, i - start);
            start = -1;
        } else if (!blank && start < 0) {
            start = i;
        }
    }
    return words;
}

bool startsWith(const QString &text, const QString &prefix)
{
    return text.startsWith(prefix, Qt::CaseSensitive);
}

QString trim(const QString &text)
{
    return text.trimmed();
}

} // namespace StringUtil
