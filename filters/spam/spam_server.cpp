#include "filters/spam/spam_server.h"

#include <malloc.h>
#include <sched.h>
#include <string_view>
#include <sys/stat.h>

#include "common/ascii_case.h"
#include "common/data_folder.h"
#include "common/filter_text.h"
#include "common/pipe_names.h"
#include "filters/spam/body_check.h"
#include "filters/spam/date_check.h"
#include "filters/spam/mark_mail.h"
#include "filters/spam/spam_log.h"
#include "filters/spam/spam_request.h"
#include "filters/spam/spam_settings.h"
#include "filters/spam/spf_check.h"
#include "platform/pipe/named_mutex.h"
#include "platform/pipe/pipe.h"
#include "platform/pipe/server_start.h"
#include "platform/process/privilege.h"

namespace spam {
namespace {

constexpr size_t kMaxRequest = 1024;
constexpr size_t kCheckHeaderLimit = 2048;

bool CheckedBefore(const std::string& mailPath) {
    std::string value = common::ReadHeaderValue(kCheckHeaderName, mailPath, kCheckHeaderLimit,
                                                common::FilterTextUser::SpamCheck);
    return common::StartsWithIgnoringAsciiCase(value, "TRUE");
}

std::string ProgramName(const char* argv0) {
    std::string_view name = argv0 ? argv0 : "orqspam";
    name = name.substr(name.rfind('/') + 1);
    std::string upper(name);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

void WriteBanner(const SpamSettings& settings, const char* argv0) {
    const char* root = settings.dataRoot.c_str();
    const char* product = "VELQOR";
    WriteLogF("%s (2.03)\n", ProgramName(argv0).c_str());
    WriteLogF("Loging:  %s\n", settings.logToFile ? "yes" : "no");
    WriteLogF("URIBL File: %s/%s/spam-dnsbl.db\n", root, product);
    WriteLogF("Keyword File: %s/%s/spamkeyword.db\n", root, product);
    WriteLogF("Date Check: %s\n", settings.dateCheck ? "yes" : "no");
    WriteLogF("SPF1 Check: %s\n", settings.spfCheck ? "yes" : "no");
    WriteLogF("SPF1 Pass File: %s/%s/passspf.db\n", root, product);
}

}  // namespace

std::string JudgeMail(const common::SpamRequest& request) {
    const SpamSettings& settings = Settings();
    std::string reply;
    const char* verdict = "CLEAN";
    if (!CheckedBefore(request.mailPath)) {
        if (settings.spfCheck && request.smtpForm && QuerySPF(request.text) == kSpfFail) {
            reply = kSpfDetected;
        } else if (CheckSpamBody(request.mailPath, request.listName)) {
            reply = kBodyDetected;
        } else if (settings.dateCheck && QueryRightDate(request.mailPath)) {
            reply = kDateDetected;
        }
        if (!reply.empty()) verdict = "SPAM";
    }
    WriteLogF("[%s] %s:\n", ShortMailName(request.mailPath).c_str(), verdict);
    return reply;
}

std::optional<std::string> HandleSpamRequest(const std::string& message, int readError) {
    // A mail's check logs a line for each of its lines: they are written
    // together once the mail is judged, before the answer goes out.
    common::DailyLogFile::Hold hold(SpamLog());
    if (message.empty() || message[0] == '\0') {
        WriteLogF("ReadFile() fail. code = %d\n", readError);
        return std::nullopt;
    }
    const common::SpamRequest request = common::SplitSpamRequest(message);
    // Only a mail of the engine's cache is judged, and marked when spam.
    if (!common::IsCacheFile(Settings().dataFolder, request.mailPath)) {
        WriteLogF("[%s] is not a mail of the cache folder.\n", request.mailPath.c_str());
        return std::string();
    }
    return JudgeMail(request);
}

int SpamCheckServerMain(int argc, char** argv) {
    platform::NamedMutex guard("orqspam");
    if (!guard.owned()) return platform::GuardExitCode(guard, "orqspam");
    // Each mail's check takes and frees a few MiB (a part's text, decoded):
    // kept in the heap for the next mail, instead of going back to the
    // system and being faulted in afresh, which cost as much as the check.
    mallopt(M_MMAP_THRESHOLD, 8 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);

    SpamSettings& settings = Settings();
    ReadOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), settings);
    // Before its folders and pipe, so that they are the service user's.
    platform::DropToServiceUser();
    MakePaths(settings);
    mkdir(settings.dataFolder.c_str(), 0777);
    mkdir(settings.logFolder.c_str(), 0777);
    SpamLog().setFolder(settings.logFolder);
    SpamLog().setToFile(settings.logToFile);
    SpamLog().setToConsole(true);
    WriteBanner(settings, argc > 0 ? argv[0] : nullptr);

    std::string problem;
    std::unique_ptr<platform::PipeServer> pipe = platform::CreateServerPipe(common::kSpamPipeName, kMaxRequest, problem);
    if (!pipe) {
        WriteLog(problem);
        return 1;
    }
    WriteLogF("Start %sSPAM Server\n", "Tavrisk ");
    while (pipe->ServeOne(HandleSpamRequest)) sched_yield();
    return 0;
}

}  // namespace spam
