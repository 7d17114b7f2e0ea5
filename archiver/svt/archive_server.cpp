#include "archiver/svt/archive_server.h"

#include <string_view>
#include <thread>

#include "archiver/svt/archive_log.h"
#include "archiver/svt/file_moves.h"
#include "archiver/svt/mail_process.h"
#include "archiver/svt/password_sender.h"
#include "common/data_folder.h"
#include "common/pipe_messages.h"
#include "platform/pipe/pipe.h"
#include "platform/win32_errors.h"

namespace archiver {
namespace {

std::string CutAtLastDot(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

}  // namespace

std::string HandleArchiveRequest(const ArchiveSettings& settings, const std::string& request) {
    const std::string requestPath =
        common::SplitArchiveRequest(std::string_view(request).substr(0, kArchiveRequestLimit));
    // Only a mail of the engine's cache may be taken: otherwise any local
    // client could have any file moved and rewritten.
    if (!common::IsCacheFile(settings.rootFolder, requestPath)) {
        LogFormat("[%s] is not a mail of the cache folder.\n", requestPath.c_str());
        return {};
    }
    const std::string workPath = settings.workFolder + requestPath.substr(requestPath.rfind('/'));

    DeleteFileRetrying(workPath);
    if (!MoveFileAcross(requestPath, workPath)) {
        LogFormat("MoveFile(%s, %s) fail.\n", requestPath.c_str(), workPath.c_str());
        return {};
    }
    const int result = ProcessMailFile(settings, workPath);
    if (!MoveFileAcross(workPath, requestPath))
        LogFormat("MoveFile(%s, %s) fail.\n", workPath.c_str(), requestPath.c_str());
    if (result != 1) return {};

    if (settings.level == 0 || settings.level == 1) {
        const std::string envelopePath = CutAtLastDot(requestPath) + ".$CP";
        const std::string queueName = CutAtLastDot(workPath) + "-pw.rcp";
        if (MoveFileAcross(envelopePath, queueName) && !settings.smtpServer.empty())
            SendPasswordFilebyPipe(queueName);
    }
    return kArchiveReplyCompressed;
}

void ServeArchiveRequests(const ArchiveSettings& settings, platform::PipeServer& server) {
    const auto handler = [&settings](const std::string& request, int readError) -> std::optional<std::string> {
        if ((readError != 0 && readError != platform::kErrorMoreData) || request.empty() || request[0] == '\0') {
            LogFormat("ReadFile() fail. code = %d\n", readError);
            return std::nullopt;
        }
        std::string reply = HandleArchiveRequest(settings, request);
        std::this_thread::yield();
        return reply;
    };
    while (server.ServeOne(handler)) {
    }
}

}  // namespace archiver
