#include "filters/cwfs/word_filter_server.h"

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <new>
#include <thread>

#include "common/ascii_case.h"
#include "common/data_folder.h"
#include "common/file_retry.h"
#include "common/pipe_messages.h"
#include "common/filter_text.h"
#include "common/pipe_names.h"
#include "filters/cwfs/body_chunks.h"
#include "filters/cwfs/cwfs_log.h"
#include "filters/cwfs/cwfs_settings.h"
#include "filters/cwfs/keyword_check.h"
#include "filters/cwfs/word_filter_request.h"
#include "platform/pipe/named_mutex.h"
#include "platform/pipe/pipe.h"
#include "platform/pipe/server_start.h"
#include "platform/process/privilege.h"

namespace cwfs {
namespace {

constexpr size_t kContentTypeLimit = 256;  // 255 characters kept
constexpr const char* kVersion = "(2.06)";

platform::PipeServer* g_pipe = nullptr;

void OnStopSignal(int) {
    if (g_pipe) g_pipe->Stop();
}

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The chunk buffer of -m KiB; the default size when that much memory is
// not to be had.
std::vector<char> AllocateChunkBuffer(CwfsSettings& settings) {
    try {
        return std::vector<char>(size_t{settings.bufferKiB} * 1024, '\0');
    } catch (const std::bad_alloc&) {
        settings.bufferKiB = kDefaultBufferKiB;
        return std::vector<char>(size_t{kDefaultBufferKiB} * 1024, '\0');
    }
}

}  // namespace

std::optional<std::string> JudgeRequest(const std::string& request, int readError, std::vector<char>& chunkBuffer) {
    const std::string text = request.substr(0, request.find('\0'));
    WriteLog("[Request] " + text + "\n");
    if (text.empty()) {
        WriteLogF("ReadFile() fail. code = %d\n", readError);
        return std::nullopt;
    }
    const common::WordFilterRequest parts = common::SplitWordFilterRequest(text);
    if (!common::IsCacheFile(Settings().dataFolder, parts.responsePath)) {
        WriteLog("[" + parts.responsePath + "] is not a file of the cache folder.\n");
        return std::nullopt;
    }

    std::string contentType = common::ReadHeaderValue("content-type:", parts.responsePath, kContentTypeLimit);
    for (char& c : contentType) c = common::LowerAscii(c);
    std::string charset = CharsetOf(contentType, "");
    if (!common::StartsWithIgnoringAsciiCase(contentType, "text/")) return std::nullopt;
    const BodyCoding coding =
        CodingOf(common::ReadHeaderValue("transfer-encoding:", parts.responsePath, kContentTypeLimit),
                 common::ReadHeaderValue("content-encoding:", parts.responsePath, kContentTypeLimit));

    const common::FilePtr file = common::OpenRegularFile(parts.responsePath);
    if (!file) return std::nullopt;
    std::optional<std::string> reply;
    if (SkipResponseHead(file.get())) {
        BodyChunks body(file.get(), chunkBuffer, coding);
        // Servers send plain "text/html" by default; the page then names
        // its charset itself, in its head.
        std::string start;
        if (charset.empty() && body.First(start)) charset = MetaCharset(start);
        if (charset.empty()) charset = Settings().fallbackCharset;
        WriteLog("[Query_KeywordLists] Start. CharSet=" + charset + " Data=" + parts.responsePath + "\n");
        std::string verdict;
        Query_KeywordLists(body, parts, charset, verdict);
        reply = std::move(verdict);
    }
    return reply;
}

std::vector<std::string> BannerLines() {
    const CwfsSettings& s = Settings();
    std::vector<std::string> lines;
    lines.push_back(UpperAscii(s.programName) + " " + kVersion + "\n");
    lines.push_back(std::string("Loging:  ") + (s.logToFile ? "yes" : "no") + "\n");
    lines.push_back("Keyword File: " + s.dataRoot + "/VELQOR/cwf.db\n");
    lines.push_back(std::string("PICS Label use: ") + (s.ratingCheck ? "yes" : "no") + "\n");
    if (s.ratingCheck) {
        char levels[128];
        std::snprintf(levels, sizeof levels, "n=%d,s=%d,v=%d,l=%d,o=%d,c=%d\n", s.levels.level[kNudity],
                      s.levels.level[kSex], s.levels.level[kViolence], s.levels.level[kLanguage],
                      s.levels.level[kOther], s.levels.level[kCommunication]);
        lines.push_back(levels);
    }
    lines.push_back("KIDS Filter: " + s.dataRoot + "/VELQOR/kidssearch.ini\n");
    lines.push_back("Query Proxy: " + (s.queryProxy.empty() ? std::string("off") : s.queryProxy) + "\n");
    return lines;
}

int WordFilterServerMain(int argc, char** argv) {
    platform::NamedMutex single("orqcwfs");
    if (!single.owned()) return platform::GuardExitCode(single, "orqcwfs");

    CwfsSettings& settings = Settings();
    const std::string self = argc > 0 ? argv[0] : "orqcwfs";
    settings.programName = self.substr(self.rfind('/') + 1);
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    ReadOptions(args, settings);
    // Before its folders and pipe, so that they are the service user's.
    platform::DropToServiceUser();
    MakePaths(settings);
    std::error_code ignored;  // a log folder that can't be made leaves the console copy
    std::filesystem::create_directories(settings.logFolder, ignored);

    common::DailyLogFile& log = CwfsLog();
    log.setFolder(settings.logFolder);
    log.setToConsole(true);
    log.setToFile(settings.logToFile);

    std::vector<char> chunkBuffer = AllocateChunkBuffer(settings);
    for (const std::string& line : BannerLines()) WriteLog(line);

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    std::string problem;
    auto pipe = platform::CreateServerPipe(common::kWordFilterPipeName, common::kWordFilterReadLimit, problem);
    if (!pipe) {
        WriteLog(problem);
        return 1;
    }
    g_pipe = pipe.get();
    WriteLog("Start Tavrisk Contents Word Filter Server\n");

    while (pipe->ServeOne([&](const std::string& request, int readError) {
        return JudgeRequest(request, readError, chunkBuffer);
    })) {
        std::this_thread::yield();
    }
    g_pipe = nullptr;
    return 0;
}

}  // namespace cwfs
