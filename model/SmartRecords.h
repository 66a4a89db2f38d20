// Decoding of the 12-byte S.M.A.R.T. attribute records a drive node offers.
#pragma once
#include "model/Smart.h"

#include <QByteArray>
#include <QList>

namespace Applications::DriveScope::Model {

// One attribute per 12-byte record, in order: id (byte 0), value (3), worst
// (4), raw value (5-10, little-endian), threshold (11). A size that is not a
// multiple of 12 gives an empty list and *ok false (ok may be null).
QList<SmartAttribute> decodeSmartRecords(const QByteArray &data, bool *ok);

// Failing: threshold not 0 and value at or below it; failed in the past: the
// same for the worst value. A threshold of 0 means the attribute cannot fail.
enum class AttributeState { Ok, Failing, FailedInPast };
AttributeState attributeState(const SmartAttribute &a);
// The 48-bit little-endian raw value as a number.
quint64 rawNumber(const SmartAttribute &a);
// The raw value as the common convention of its id reads it (hours, °C, ...).
QString rawText(const SmartAttribute &a);

} // namespace Applications::DriveScope::Model
