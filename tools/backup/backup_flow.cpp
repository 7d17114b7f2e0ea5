#include "tools/backup/backup_flow.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/data_folder.h"
#include "common/start_values.h"
#include "tools/backup/backup_console.h"
#include "tools/backup/file_copy.h"
#include "tools/backup/reg_store_io.h"

namespace backup {
namespace {

const char* TargetWord(int bMode) { return bMode == 1 ? "保存元" : "保存先"; }

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

// One blank-delimited word from standard input, at most kTargetLimit bytes.
std::string ReadTargetWord() {
    std::string word;
    int c;
    while ((c = getchar()) != EOF && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
    }
    while (c != EOF && c != ' ' && c != '\t' && c != '\r' && c != '\n') {
        if (word.size() < kTargetLimit) word += static_cast<char>(c);
        c = getchar();
    }
    return word;
}

std::string RegFileFolder(const RunSettings& settings) { return settings.mTarget + "backup/"; }

// Writes the key tree to `path`. False only when the file could not be
// written; keys that could not be read have their own failure lines.
bool ExportToFile(const std::string& sourceKey, const std::string& targetKey, const std::string& path, bool display) {
    std::string file = "REGEDIT4\r\n";
    ExportRegKey(file, sourceKey, targetKey, display);
    if (!WriteFileAtomically(path, file)) {
        Out().Fail(path, strerror(errno));
        return false;
    }
    return true;
}

struct Generation {
    const char* key;
    const char* fileName;
    const std::string& dataFolder;
};

Generation Older(const RunSettings& s) { return {kOlderKey, kOlderFileName, s.olderDataFolder}; }
Generation Current(const RunSettings& s) { return {kCurrentKey, kCurrentFileName, s.currentDataFolder}; }

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, RunSettings& settings) {
    for (const std::string& arg : args) {
        if (arg.size() < 2 || arg[0] != '-') continue;
        const std::string value = arg.size() > 3 ? arg.substr(3) : std::string();
        switch (arg[1]) {
        case 'd': case 'D': settings.bDisp = 1; break;
        case 'i': case 'I': settings.bMode = 1; break;
        case 'o': case 'O': settings.bMode = 0; break;
        case 'v': case 'V': settings.nZRev = atoi(value.c_str()); break;
        case 't': case 'T':
            if (arg.size() > 2 && arg[2] == '=') {
                settings.mTarget = WithSlash(value.substr(0, kTargetLimit));
                break;
            }
            Out().Say(std::string(TargetWord(settings.bMode)) + "をフルパスで指定してください。例)c:\\vqr-backup\\\n");
            settings.mTarget = ReadTargetWord();
            if (settings.mTarget.empty()) {
                Out().Say(std::string(TargetWord(settings.bMode)) + "が指定されませんでした。処理を終了します。\n");
                return false;
            }
            settings.mTarget = WithSlash(settings.mTarget);
            MakePath(settings.mTarget);
            break;
        default: break;
        }
    }
    return true;
}

void FindDataFolders(RunSettings& settings) {
    auto folder = [](const char* key, const char* name) {
        std::string variable = ReadRegString(key, common::kDataRootVariable.name, common::kDataRootVariable.byDefault);
        return common::LookUpDataRoot(variable).path + "/" + name + "/";
    };
    settings.olderDataFolder = folder(kOlderKey, kOlderFolderName);
    settings.currentDataFolder = folder(kCurrentKey, kCurrentFolderName);
}

bool RunBackup(const RunSettings& settings) {
    const int before = Out().failures();
    const std::string regFolder = RegFileFolder(settings);
    const bool display = settings.bDisp != 0;
    bool ok = true;
    switch (settings.nZRev) {
    case 1:
    case 2: {
        Generation g = settings.nZRev == 1 ? Older(settings) : Current(settings);
        ok = MakePath(regFolder) && ExportToFile(g.key, "", regFolder + g.fileName, display);
        if (ok) CopyTree(g.dataFolder, settings.mTarget, false);
        break;
    }
    case 12:
    case 21: {
        // The file is named for the generation the settings go to.
        Generation from = settings.nZRev == 12 ? Older(settings) : Current(settings);
        Generation to = settings.nZRev == 12 ? Current(settings) : Older(settings);
        ok = MakePath(regFolder) && ExportToFile(from.key, to.key, regFolder + to.fileName, display);
        break;
    }
    default:
        return true;
    }
    ok = ok && Out().failures() == before;
    if (ok) Out().Say("\nBackup completed.\n");
    return ok;
}

void RunRestore(const RunSettings& settings) {
    const int before = Out().failures();
    const std::string regFolder = RegFileFolder(settings);
    const bool display = settings.bDisp != 0;
    const bool restoreMode = settings.bMode == 1;
    switch (settings.nZRev) {
    case 1:
    case 2: {
        Generation g = settings.nZRev == 1 ? Older(settings) : Current(settings);
        ImportRegFile(regFolder + g.fileName, display);
        if (!settings.mTarget.empty() && MakePath(g.dataFolder)) CopyTree(settings.mTarget, g.dataFolder, restoreMode);
        break;
    }
    case 12:
    case 21: {
        Generation from = settings.nZRev == 12 ? Older(settings) : Current(settings);
        Generation to = settings.nZRev == 12 ? Current(settings) : Older(settings);
        ImportRegFile(regFolder + to.fileName, display);
        if (MakePath(to.dataFolder)) CopyTree(from.dataFolder, to.dataFolder, restoreMode);
        break;
    }
    default:
        break;
    }
    if (Out().failures() == before) Out().Say("\nRestore completed.\n");
}

}  // namespace backup
