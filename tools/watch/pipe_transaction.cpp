#include "tools/watch/pipe_transaction.h"

#include "common/ascii_case.h"
#include "platform/pipe/pipe.h"
#include "platform/win32_errors.h"
#include "tools/watch/watch_log.h"

namespace watch {

bool CallPipeTransaction(const std::string& request, std::string& reply, const char* pipeName,
                         PipeCallRules rules) {
    reply.clear();
    const std::string text = request.substr(0, std::min(request.find('\0'), kMaxRequestText));
    const std::string message = common::BuildPlainMessage(text);

    std::string received;
    int err = platform::CallNamedPipe(pipeName, message, common::kPlainMessageSize, received, platform::kPipeNoWait);
    if (err == platform::kErrorPipeBusy) {
        // The other side is busy (the panel's pop-up waits for its
        // administrator): wait for it, and say so once.
        LogF("%s --- pipe err = %d\n", text.c_str(), err);
        err = platform::CallNamedPipe(pipeName, message, common::kPlainMessageSize, received,
                                     platform::kPipeWaitForever);
    }
    // A reply longer than the buffer still names a finding: keep what fits.
    if (err != platform::kErrorSuccess && err != platform::kErrorMoreData) {
        LogF("%s --- pipe err = %d\n", text.c_str(), err);
        return false;
    }
    reply = received.substr(0, received.find('\0'));
    LogF("%s --- %s\n", text.c_str(), reply.empty() ? "CLEAN" : reply.c_str());
    if (rules.accessDeniedIsClean && common::StartsWithIgnoringAsciiCase(reply, common::kScanReplyAccessDenied))
        reply.clear();
    return true;
}

bool FitsScanRequest(const std::string& path) {
    if (path.size() <= kMaxRequestText) return true;
    LogF("ScanFilebyPipe(%s) path longer than %zu bytes, not scanned\n", path.c_str(), kMaxRequestText);
    return false;
}

void SendAlert(const std::string& finding, const std::string& path) {
    std::string ignored;
    CallPipeTransaction(common::BuildAlert(finding, path), ignored, common::kAlertPipeName);
}

}  // namespace watch
