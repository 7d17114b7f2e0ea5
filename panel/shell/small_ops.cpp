#include "panel/shell/small_ops.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "common/ascii_case.h"
#include "panel/shell/outside_program.h"
#include "panel/shell/panel_state.h"
#include "panel/shell/registry_ops.h"
#include "platform/codepage/codepage.h"
#include "platform/pipe/pipe.h"
#include "platform/process/process.h"
#include "platform/win32_errors.h"

namespace panel {
namespace {

constexpr size_t kScanMessageSize = 512;
constexpr char kScanPipe[] = "\\\\.\\pipe\\orqavs";

}  // namespace

void GetOwnFileVersion(uint32_t& mostSignificant, uint32_t& leastSignificant) {
    mostSignificant = (2u << 16) | 0u;
    leastSignificant = (14u << 16) | 0u;
}

int AvScanRequest(std::string_view path, std::string& reply, uint32_t replyTimeoutMs) {
    reply.clear();
    std::string request(path);
    if (request.size() > kScanMessageSize - 1 || request.find('\0') != std::string::npos) return -1;
    request.resize(kScanMessageSize, '\0');
    std::string answer;
    int rc;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(replyTimeoutMs);
    while ((rc = platform::CallNamedPipe(kScanPipe, request, kScanMessageSize, answer, platform::kPipeWaitForever,
                                         replyTimeoutMs)) == platform::kErrorPipeBusy) {
        if (replyTimeoutMs != platform::kPipeWaitForever && std::chrono::steady_clock::now() > deadline) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (rc != platform::kErrorSuccess) return 0;
    reply = answer.substr(0, answer.find('\0'));
    if (common::EqualsIgnoringAsciiCase(reply, "Password-protected-EXE")) reply.clear();
    return 1;
}

std::string ListServerDrives() { return "/"; }

bool IsProcessAbsent(std::string_view fileName) {
    std::string name(fileName);
    if (name.size() > 4 && common::EqualsIgnoringAsciiCase(std::string_view(name).substr(name.size() - 4), ".exe"))
        name.resize(name.size() - 4);
    return platform::FindProcesses(name, State().programFolder).empty();
}

std::string ExpandShellCommand(std::string_view command) {
    std::string program;
    std::string_view rest = command;
    if (size_t quote = rest.find('"'); quote != std::string_view::npos) rest.remove_prefix(quote + 1);
    for (;;) {
        size_t open = rest.find('%');
        if (open == std::string_view::npos) break;
        size_t close = rest.find('%', open + 1);
        if (close == std::string_view::npos) break;
        program.append(rest.substr(0, open));
        std::string variable(rest.substr(open + 1, close - open - 1));
        if (const char* value = std::getenv(variable.c_str())) program += value;
        rest.remove_prefix(close + 1);
    }
    constexpr std::string_view kDelimiters = "\"\r\n";
    size_t start = rest.find_first_not_of(kDelimiters);
    if (start != std::string_view::npos) {
        rest.remove_prefix(start);
        program.append(rest.substr(0, rest.find_first_of(kDelimiters)));
    }
    return program;
}

bool ShowHelpIndex() {
    std::string command;
    RegReadString(RegRoot::ClassesRoot, "chm.file\\shell\\open\\command", "", "", command, 512);
    return StartOutsideProgram(ExpandShellCommand(command), {HelpTopicPath()});
}

int GetUserDefaultLangID() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        std::string_view locale(value);
        bool japanese = locale.substr(0, 2) == "ja" && (locale.size() == 2 || locale[2] == '_' || locale[2] == '.' ||
                                                        locale[2] == '@');
        return japanese ? 1041 : 1033;
    }
    return 1033;
}

}  // namespace panel
