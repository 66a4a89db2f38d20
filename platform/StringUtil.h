// Number and size formatting with the unit prefixes and separators set at start-up.
#pragma once
#include <QString>
#include <QStringList>

namespace StringUtil {
void setBIPrefixes(const QString &prefixes); // " KMGTPEZY": position 0 is "no multiple"
void setSIPrefixes(const QString &prefixes); // " kMGTPEZY"
void setUnitSeparator(const QString &separator);
void setDecimalSeparator(quint32 character);
void setThousandSeparator(quint32 character);
void resetFormatting(); // back to the English defaults

// "500.1 G" (si true: powers of 1000, SI prefixes) or "465.8 G" (si false:
// powers of 1024, binary prefixes), without the unit; the caller appends "B" or "iB".
QString formatSizesSmart(quint64 size, bool si);
// A run of decimal digits in groups of three, joined by the thousand separator.
QString groupDigits(const QString &digits);
// Splits at runs of white space; no empty words.
QStringList split(const QString &text);
bool startsWith(const QString &text, const QString &prefix);
QString trim(const QString &text);
} // namespace StringUtil
