#include "tools/watch/autostart_places.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/codepage/codepage.h"
#include "tools/watch/autorun_watch.h"
#include "tools/watch/pipe_transaction.h"

namespace watch {

namespace {

constexpr const char* kRunKeyBase = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";

struct RunKey {
    platform::HKEY root;
    const char* subKey;
};

void ScanAndAlert(const std::string& text) {
    std::string finding = ScanAutostartText(text);
    if (!finding.empty()) SendAlert(finding, text);
}

// Value data as text: strings as UTF-8, other types as their bytes up to
// the first NUL.
std::string ValueText(platform::DWORD type, const std::vector<platform::BYTE>& data, platform::DWORD size) {
    if (type == platform::REG_SZ || type == platform::REG_EXPAND_SZ || type == platform::REG_MULTI_SZ) {
        std::u16string wide(reinterpret_cast<const char16_t*>(data.data()), size / 2);
        wide = wide.substr(0, wide.find(u'\0'));
        return platform::WideToUtf8(wide);
    }
    std::string bytes(reinterpret_cast<const char*>(data.data()), size);
    return bytes.substr(0, bytes.find('\0'));
}

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The words of an Exec= value: blank-separated, a quoted word with its
// escapes undone.
std::vector<std::string> ExecFields(const std::string& exec) {
    std::vector<std::string> fields;
    size_t i = 0;
    while (i < exec.size()) {
        if (exec[i] == ' ' || exec[i] == '\t') {
            ++i;
            continue;
        }
        std::string field;
        if (exec[i] == '"') {
            for (++i; i < exec.size() && exec[i] != '"'; ++i) {
                if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
                field += exec[i];
            }
            ++i;
        } else {
            for (; i < exec.size() && exec[i] != ' ' && exec[i] != '\t'; ++i) field += exec[i];
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

// The executable file a command word names, looked up in the folders of
// `path` when it holds no "/"; empty when there is none.
std::string FindProgram(const std::string& word, const std::string& path) {
    if (word.empty()) return "";
    if (word.find('/') != std::string::npos) return IsExecutableFile(word) ? word : "";
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        std::string candidate = path.substr(start, end - start) + "/" + word;
        if (end > start && IsExecutableFile(candidate)) return candidate;
        start = end + 1;
    }
    return "";
}

std::string SearchPath() {
    const char* path = std::getenv("PATH");
    return path ? path : "";
}

// The command env runs from its arguments (what follows the word "env"):
// options and NAME=value settings passed over, a PATH= setting used for
// the look-up as env itself would. Empty when env runs nothing or its
// arguments are beyond reading (-S splits a string of its own).
std::string EnvCommand(const std::vector<std::string>& args, std::string& path) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") return i + 1 < args.size() ? args[i + 1] : "";
        if (arg == "-u" || arg == "-C" || arg == "--unset" || arg == "--chdir") {
            ++i;  // their value is the next word
            continue;
        }
        if (arg == "-S" || arg.rfind("-S", 0) == 0 || arg.rfind("--split-string", 0) == 0) return "";
        if (!arg.empty() && arg.front() == '-') continue;
        size_t equals = arg.find('=');
        if (equals == std::string::npos) return arg;
        if (arg.compare(0, equals, "PATH") == 0) path = arg.substr(equals + 1);
    }
    return "";
}

}  // namespace

std::vector<std::string> ResolveShortcutPrograms(const std::string& desktopFile) {
    std::ifstream in(desktopFile, std::ios::binary);
    std::string exec;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("Exec=", 0) == 0) {
            exec = line.substr(5);
            break;
        }
    }
    std::vector<std::string> fields = ExecFields(exec);
    std::vector<std::string> programs;
    std::string path = SearchPath();
    std::string program = fields.empty() ? "" : FindProgram(fields.front(), path);
    if (program.empty()) return programs;
    programs.push_back(program);
    // env only sets up what another program runs in: that one is what starts.
    if (program.substr(program.rfind('/') + 1) == "env") {
        std::string runs = EnvCommand(std::vector<std::string>(fields.begin() + 1, fields.end()), path);
        std::string target = FindProgram(runs, path);
        if (!target.empty()) programs.push_back(target);
    }
    return programs;
}

std::string RunCommandPath(const std::string& data) {
    size_t cut = data.find(" -");
    if (cut == std::string::npos) cut = data.find(" /");
    std::string text = data.substr(0, cut);
    if (!text.empty() && text.front() == '"') text = text.substr(1, text.find('"', 1) - 1);
    return text;
}

void ScanRunKey(platform::HKEY root, const std::string& subKey) {
    platform::HKEY key = nullptr;
    if (platform::RegOpenKeyExA(root, subKey.c_str(), 0, platform::KEY_READ, &key) != platform::kErrorSuccess)
        return;
    std::vector<char16_t> name(261);
    std::vector<platform::BYTE> data(260);
    for (platform::DWORD index = 0;;) {
        platform::DWORD nameLength = static_cast<platform::DWORD>(name.size());
        platform::DWORD size = static_cast<platform::DWORD>(data.size());
        platform::DWORD type = 0;
        platform::LONG err =
            platform::RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (err == platform::kErrorMoreData) {
            // A long value is read whole: it must not hide the ones after it.
            name.resize(name.size() * 2);
            data.resize(std::max<size_t>(data.size() * 2, size));
            continue;
        }
        if (err != platform::kErrorSuccess) break;
        ScanAndAlert(RunCommandPath(ValueText(type, data, size)));
        ++index;
    }
    platform::RegCloseKey(key);
}

void ScanRunKeys() {
    using platform::HKEY_CURRENT_USER;
    using platform::HKEY_LOCAL_MACHINE;
    static const RunKey kKeys[] = {
        {HKEY_LOCAL_MACHINE, "Run"},
        {HKEY_LOCAL_MACHINE, "RunOnce"},
        {HKEY_CURRENT_USER, "Run"},
        {HKEY_CURRENT_USER, "RunOnce"},
        {HKEY_LOCAL_MACHINE, "RunOnceEx"},
        {HKEY_LOCAL_MACHINE, "RunServices"},
        {HKEY_LOCAL_MACHINE, "RunServicesOnce"},
        {HKEY_LOCAL_MACHINE, "Policies\\Explorer\\Run"},
        {HKEY_LOCAL_MACHINE, "Explorer\\SharedTaskScheduler"},
        {HKEY_CURRENT_USER, "RunServices"},
        {HKEY_CURRENT_USER, "RunServicesOnce"},
        {HKEY_CURRENT_USER, "Policies\\Explorer\\Run"},
    };
    for (const RunKey& key : kKeys) ScanRunKey(key.root, std::string(kRunKeyBase) + key.subKey + "\\");
}

void ScanStartupFolder(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
    ::closedir(dir);
    for (const std::string& name : names) {
        std::string path = folder + name;
        std::vector<std::string> programs;
        if (name.size() > 8 && name.compare(name.size() - 8, 8, ".desktop") == 0)
            programs = ResolveShortcutPrograms(path);
        if (programs.empty()) programs.push_back(path);
        for (const std::string& program : programs) ScanAndAlert(program);
    }
}

void ScanStartupFolders() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (configHome && *configHome)
        ScanStartupFolder(std::string(configHome) + "/autostart/");
    else if (home && *home)
        ScanStartupFolder(std::string(home) + "/.config/autostart/");

    const char* configDirs = std::getenv("XDG_CONFIG_DIRS");
    std::string first = configDirs && *configDirs ? std::string(configDirs) : "/etc/xdg";
    first = first.substr(0, first.find(':'));
    if (!first.empty()) ScanStartupFolder(first + "/autostart/");
}

}  // namespace watch
