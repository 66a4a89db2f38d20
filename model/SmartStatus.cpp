// The S.M.A.R.T. tab's health verdict.
#include "model/SmartStatus.h"

#include "model/Smart.h"
#include "platform/I18n.h"

namespace Applications::DriveScope::Model {

HealthVerdict smartHealth(const Smart *smartOrNull)
{
    if (!smartOrNull)
        return {trKey("main.state.notavail.type", "DEVICE DATA NOT AVAILABLE"), Verdict::Warning, false};
    if (smartOrNull->attributes().isEmpty())
        return {trKey("main.smart.health.na", "Health not available"), Verdict::Warning, true};
    if (smartOrNull->healthy())
        return {trKey("main.smart.health.okay", "Drive healthy"), Verdict::Ok, true};
    return {trKey("main.smart.health.notokay", "Drive not healthy"), Verdict::Error, true};
}

HealthVerdict nvmeHealthVerdict(const std::optional<NvmeHealth> &health)
{
    if (!health)
        return {trKey("main.nvme.health.na", "Health not available"), Verdict::Warning, true};
    if (health->healthy())
        return {trKey("main.nvme.health.okay", "Drive healthy"), Verdict::Ok, true};
    return {trKey("main.nvme.health.notokay", "Drive not healthy"), Verdict::Error, true};
}

} // namespace Applications::DriveScope::Model
