// orqsvt: the attachment archiving server.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "archiver/svt/archive_log.h"
#include "archiver/svt/archive_server.h"
#include "archiver/svt/archive_settings.h"
#include "archiver/svt/file_moves.h"
#include "archiver/svt/password_sender.h"
#include "common/data_folder.h"
#include "common/pipe_names.h"
#include "platform/pipe/named_mutex.h"
#include "platform/pipe/pipe.h"
#include "platform/pipe/server_start.h"
#include "platform/process/privilege.h"

namespace {

platform::PipeServer* g_archivePipe = nullptr;
platform::PipeServer* g_senderPipe = nullptr;

void OnStopSignal(int) {
    if (g_archivePipe) g_archivePipe->Stop();
    if (g_senderPipe) g_senderPipe->Stop();
}

void MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0777);
        if (slash == std::string::npos) break;
    }
}

}  // namespace

int main(int argc, char** argv) {
    platform::NamedMutex single("orqsvt");
    if (!single.owned()) return platform::GuardExitCode(single, "orqsvt");

    archiver::ArchiveSettings settings;
    archiver::ReadArchiveOptions(std::vector<std::string>(argv + 1, argv + argc), settings);
    // The passwords are read; its folders and its pipe, which only the
    // engine (the same user) may use, are the service user's.
    platform::DropToServiceUser();

    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0) settings.hostName = host;

    const common::DataRoot root = common::LookUpDataRoot(settings.environmentName);
    settings.rootFolder = common::DataFolderPath(root.path);
    settings.workFolder = settings.rootFolder + "sorvspool";
    settings.logFolder = settings.rootFolder + "sorvantlog";
    MakeFolders(settings.workFolder);
    MakeFolders(settings.logFolder);

    archiver::SetUpLog(settings);
    if (root.fellBack) archiver::LogLine(common::DataRootFallbackNote(settings.environmentName) + "\n");
    for (const std::string& line : archiver::SettingsBlock(settings)) archiver::LogLine(line);
    // Every mail passes through the work folder.
    if (const std::string problem = platform::FolderProblem(settings.workFolder); !problem.empty()) {
        archiver::LogLine(problem);
        return 1;
    }
    // A run that hung or died mid-mail left its files; only one orqsvt runs.
    archiver::CleanWorkFolder(settings.workFolder);

    struct sigaction action{};
    action.sa_handler = OnStopSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    std::string problem;
    auto pipe = platform::CreateServerPipe(common::kArchivePipeName, archiver::kArchiveRequestLimit, problem);
    if (!pipe) {
        archiver::LogLine(problem);
        return 1;
    }
    // Only the engine, running as the same user, may hand over mails.
    ::chmod(platform::PipeSocketPath(common::kArchivePipeName).c_str(), 0600);
    g_archivePipe = pipe.get();

    std::unique_ptr<platform::PipeServer> senderPipe;
    std::thread sender;
    if (!settings.smtpServer.empty()) {
        senderPipe = archiver::CreateSenderPipe();
        if (senderPipe) {
            g_senderPipe = senderPipe.get();
            sender = std::thread([&settings, &senderPipe] { archiver::PasswordSenderThread(settings, *senderPipe); });
        }
    }
    archiver::LogLine("Start Tavrisk Sorvant Server\n");

    archiver::ServeArchiveRequests(settings, *pipe);

    g_archivePipe = nullptr;
    if (senderPipe) senderPipe->Stop();
    if (sender.joinable()) sender.join();
    g_senderPipe = nullptr;
    return 0;
}
