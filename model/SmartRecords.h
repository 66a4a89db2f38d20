// Decoding of the 12-byte S.M.A.R.T. attribute records a drive node offers,
// and what one attribute says: its state and its raw value as people read it.
#pragma once
#include "model/Smart.h"

#include <QByteArray>
#include <QList>

namespace Applications::DriveScope::Model {

// One attribute per 12-byte record, in order: id (byte 0), value (3), worst
// (4), raw value (5-10, little-endian), threshold (11). A size that is not a
// multiple of 12 gives an empty list and *ok false (ok may be null).
QList<SmartAttribute> decodeSmartRecords(const QByteArray &data, bool *ok);

// Failing: value at or below a non-zero threshold now; failed in the past:
// worst at or below it (value above).
enum class AttributeState { Ok, Failing, FailedInPast };
AttributeState attributeState(const SmartAttribute &a);
// "ok", "failing", "failed-in-past" (report keys, not translated).
QString attributeStateName(AttributeState state);
// The translated sentence for the tooltip; null for Ok.
QString attributeStateText(AttributeState state);

// The 48-bit little-endian raw number.
quint64 rawNumber(const SmartAttribute &a);
// The raw value as the common convention for the id reads it ("1234 h",
// "38 \u00B0C (min 20, max 45)", "62 ms"); the raw number for other ids.
QString rawText(const SmartAttribute &a);

// Marks the attributes whose raw value a drive model counts unlike the
// convention (power-on time in minutes), by IDENTIFY model and firmware.
void applyDriveQuirks(QList<SmartAttribute> &attributes, const QString &model, const QString &firmware);

} // namespace Applications::DriveScope::Model
