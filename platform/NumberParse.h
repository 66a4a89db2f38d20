// The platform's number parser for numbers inside texts and element names
// ("VPD_PAGE_0x83", "USB_IFC_CSP_i0_a1", class texts "8:6:80").
#pragma once
#include <QString>

namespace StrConv {
// Decimal digits, or hexadecimal digits after "0x"/"0X". Nothing else is
// accepted: no sign, no blanks, no empty text, no value above 64 bits.
// False (and `value` untouched) when the text is not such a number.
bool toUnsigned(const QString &text, quint64 &value);
} // namespace StrConv
