// The health verdict shown above the S.M.A.R.T. table, shared by the window
// and the report.
#pragma once
#include "model/Verdict.h"

#include <QString>

namespace Applications::DriveScope::Model {

class Smart;

struct HealthVerdict {
    QString text;
    Verdict verdict;
    bool iconShown; // the icon shows only while there is a model
};

// No model: data not available; no attributes: health not available (the
// drive's flag alone is not trusted then); otherwise the drive's own flag.
HealthVerdict smartHealth(const Smart *smartOrNull);

} // namespace Applications::DriveScope::Model
