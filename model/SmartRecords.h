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

} // namespace Applications::DriveScope::Model
