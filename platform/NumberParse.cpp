#include "platform/NumberParse.h"

namespace StrConv {

bool toUnsigned(const QString &text, quint64 &value)
{
    int start = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == QLatin1Char('0') &&
        (text[1] == QLatin1Char('x') || text[1] == QLatin1Char('X'))) {
        start = 2;
        base = 16;
    }
    if (start >= text.size())
        return false;
    quint64 result = 0;
    for (int i = start; i < text.size(); ++i) {
        const QChar c = text[i];
        int digit;
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digit = c.unicode() - '0';
        else if (base == 16 && c >= QLatin1Char('a') && c <= QLatin1Char('f'))
            digit = c.unicode() - 'a' + 10;
        else if (base == 16 && c >= QLatin1Char('A') && c <= QLatin1Char('F'))
            digit = c.unicode() - 'A' + 10;
        else
            return false;
        if (result > (~quint64(0) - quint64(digit)) / quint64(base))
            return false;
        result = result * quint64(base) + quint64(digit);
    }
    value = result;
    return true;
}

} // namespace StrConv
