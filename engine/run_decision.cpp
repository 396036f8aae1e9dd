#include "engine/run_decision.h"

#include "engine/zel_cust_update_dialog.h"

namespace engine {

TRunDecision DecideRun(int Flags, const std::string& Execute, const std::string& Ran) {
    TRunDecision d;
    d.Download = (Flags & vcDownload) != 0;
    if (Execute == "NEVER") {
        d.Never = true;
        return d;
    }
    if (Flags & vcRunAnyway) {
        d.Run = true;
    } else if (!(Flags & vcBlocked)) {
        d.MarkerEvaluated = true;
        d.AlreadyRan = Ran == "TRUE" && Execute != "ALWAYS";
        d.Run = (Ran == "FALSE" || Ran.empty() || Execute == "ALWAYS") && !(Flags & vcDoNotRun);
    }
    d.NothingNewer = !d.Download && !d.Run;
    return d;
}

bool IsCompletedExitCode(int Code) { return Code >= 260 && Code <= 65999; }

}  // namespace engine
