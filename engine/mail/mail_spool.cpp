#include "engine/mail/mail_spool.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "common/file_retry.h"
#include "common/local_time.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"

namespace engine {
namespace {

// A copy that keeps failing (a full disk) is given up after this many
// tries, 50 ms apart: the mail still goes on to the server.
constexpr int kCopyTries = 100;
constexpr std::size_t kCommandLimit = 16384;

std::string SpoolFolder() { return Settings().dataFolder + "cache/"; }

std::string EnvelopePath(const std::string& mailId, bool spool) {
    if (spool) return SpoolFolder() + mailId + ".$CP";
    const std::string folder = BackupDayFolder(mailId);
    return folder.empty() ? std::string() : folder + mailId + ".$CP";
}

void DeleteIfThere(const std::string& path) {
    if (!path.empty()) common::DeleteWithRetry(path);
}

}  // namespace

std::string MakeMailId() {
    const common::LocalTime now = common::NowLocal();
    unsigned long counter;
    {
        std::lock_guard<std::mutex> lock(Shared().mailIdLock);
        counter = Shared().mailIdCounter++;
    }
    char id[64];
    std::snprintf(id, sizeof id, "%04d%02d%02d%02d%02d%02d%03d.%08lu", now.year, now.month, now.day, now.hour,
                  now.minute, now.second, now.millisecond, counter % 100000000UL);
    return id;
}

std::string CommandAddress(std::string_view line) {
    line = line.substr(0, std::min(line.size(), kCommandLimit));
    const std::size_t cut = line.find_first_of(">\r\n");
    if (cut != std::string_view::npos) line = line.substr(0, cut);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return {};
    std::size_t at = colon + 1;
    while (at < line.size() && (line[at] == ' ' || line[at] == '<')) ++at;
    return std::string(line.substr(at));
}

std::string BackupDayFolder(const std::string& mailId) {
    const EngineSettings& settings = Settings();
    if (!settings.mailBackup || mailId.size() < 8) return {};
    return settings.backupFolder + mailId.substr(0, 8) + "/";
}

void MailEnvelopeFile(const std::string& mailId, std::string_view commandLine, EnvelopeLine mode, bool spool) {
    const std::string path = EnvelopePath(mailId, spool);
    if (path.empty()) return;
    std::string line;
    if (mode == EnvelopeLine::Start) {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
        line = "Message-ID: <" + mailId + ">\r\n";
    } else {
        if (commandLine.substr(0, std::min(commandLine.size(), kCommandLimit)).find(':') == std::string_view::npos)
            return;
        line = (mode == EnvelopeLine::ReturnPath ? "Return-path: " : "Recipient: ") + CommandAddress(commandLine) +
               "\r\n";
    }
    FILE* file = std::fopen(path.c_str(), mode == EnvelopeLine::Start ? "wb" : "ab");
    if (!file) return;
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
}

void BackupCopy(int clientSocket, const std::string& mailPath, const std::string& mailId) {
    const std::string folder = BackupDayFolder(mailId);
    if (folder.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::string target = folder + mailId + ".$ML";
    for (int tries = 0; tries < kCopyTries; ++tries) {
        // Written beside and renamed, so the backup never holds half a mail.
        const std::string partial = target + ".part";
        if (std::filesystem::copy_file(mailPath, partial, std::filesystem::copy_options::overwrite_existing, ec) &&
            std::rename(partial.c_str(), target.c_str()) == 0)
            return;
        std::remove(partial.c_str());
        std::this_thread::sleep_for(common::kOpenRetryInterval);
    }
    WriteLogF("[BackupCopy] [%04d] [%s] Fail. (%s)\n", clientSocket, target.c_str(), ec.message().c_str());
}

void Backup_Mail(int clientSocket, const std::string& mailId, bool keep) {
    const std::string folder = BackupDayFolder(mailId);
    if (folder.empty()) return;
    const std::string base = folder + mailId;
    if (!keep) {
        for (const char* extension : {".$ML", ".EML", ".$CP", ".RCP"}) DeleteIfThere(base + extension);
        return;
    }
    for (const auto& [from, to] : {std::pair{".$ML", ".EML"}, std::pair{".$CP", ".RCP"}}) {
        const std::string target = base + to;
        if (std::rename((base + from).c_str(), target.c_str()) == 0)
            WriteLogF("[Backup_Mail] [%04d] [%s] Success.\n", clientSocket, target.c_str());
        else
            WriteLogF("[Backup_Mail] [%04d] [%s] Fail. (GetLasterr() = %d)\n", clientSocket, target.c_str(), errno);
    }
}

void DeleteMailEnvelope(const std::string& mailId) {
    DeleteIfThere(EnvelopePath(mailId, false));
    DeleteIfThere(EnvelopePath(mailId, true));
}

}  // namespace engine
