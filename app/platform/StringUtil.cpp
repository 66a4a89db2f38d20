// SCAFFOLD until the string library lands.
#include "platform/StringUtil.h"

#include <QRegularExpression>

namespace StringUtil {
void setBIPrefixes(const QString &) {}
void setSIPrefixes(const QString &) {}
void setUnitSeparator(const QString &) {}
void setDecimalSeparator(quint32) {}
void setThousandSeparator(quint32) {}
void resetFormatting() {}
QString formatSizesSmart(quint64 size, bool) { return QString::number(size) + QLatin1Char(' '); }
QStringList split(const QString &text) { return text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts); }
bool startsWith(const QString &text, const QString &prefix) { return text.startsWith(prefix); }
QString trim(const QString &text) { return text.trimmed(); }
} // namespace StringUtil
