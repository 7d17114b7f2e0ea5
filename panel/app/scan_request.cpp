#include "panel/app/scan_request.h"

#include <chrono>
#include <thread>

#include "common/ascii_case.h"
#include "common/pipe_messages.h"
#include "common/pipe_names.h"
#include "platform/pipe/pipe.h"
#include "platform/win32_errors.h"

namespace panel {

int AvScanRequest(std::string_view path, std::string& reply, uint32_t replyTimeoutMs) {
    reply.clear();
    if (path.size() > common::kPlainMessageSize - 1 || path.find('\0') != std::string_view::npos) return -1;
    const std::string request = common::BuildPlainMessage(path);
    std::string answer;
    int rc;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(replyTimeoutMs);
    while ((rc = platform::CallNamedPipe(common::kScanPipeName, request, common::kPlainMessageSize, answer, platform::kPipeWaitForever,
                                         replyTimeoutMs)) == platform::kErrorPipeBusy) {
        if (replyTimeoutMs != platform::kPipeWaitForever && std::chrono::steady_clock::now() > deadline) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (rc != platform::kErrorSuccess) return 0;
    reply = answer.substr(0, answer.find('\0'));
    if (common::EqualsIgnoringAsciiCase(reply, common::kScanReplyPasswordProtected)) reply.clear();
    return 1;
}

}  // namespace panel
