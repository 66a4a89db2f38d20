// The health verdict shown above the S.M.A.R.T. table, shared by the window
// and the report.
#pragma once
#include "model/NvmeHealth.h"
#include "model/Verdict.h"

#include <optional>

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
// The NVMe tab's verdict, in the S.M.A.R.T. tab's words: health not available
// without a log, otherwise the log's own critical warning and spare.
HealthVerdict nvmeHealthVerdict(const std::optional<NvmeHealth> &health);

} // namespace Applications::DriveScope::Model
