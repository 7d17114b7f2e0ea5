#include "filters/cwfs/cwfs_settings.h"

#include "common/data_folder.h"
#include "common/option_arg.h"

namespace cwfs {

CwfsSettings& Settings() {
    static CwfsSettings settings;
    return settings;
}

void ReadOptions(const std::vector<std::string>& args, CwfsSettings& settings) {
    constexpr size_t kTextLimit = 260;
    for (const std::string& arg : args) {
        const common::OptionArg option = common::ParseOptionArg(arg);
        switch (option.letter) {
        case 'c':
        case 'C':
            // The administrator's default charset, for pages that name none.
            if (!option.value.empty()) settings.fallbackCharset = option.value.substr(0, kTextLimit);
            break;
        case 'e':
        case 'E':
            settings.dataRootVariable = option.value.substr(0, kTextLimit);
            break;
        case 'l':
        case 'L':
            settings.ratingCheck = true;
            settings.levels = ParseLevelList(option.value);
            break;
        case 'm':
        case 'M': {
            const int64_t kib = common::ParseDecimal(option.value);
            settings.bufferKiB = kib <= 0 ? kDefaultBufferKiB
                                          : static_cast<unsigned>(kib > kMaxBufferKiB ? kMaxBufferKiB : kib);
            break;
        }
        case 's':
        case 'S':
            settings.queryProxy = option.value.substr(0, kTextLimit);
            break;
        case 'w':
        case 'W':
            settings.logToFile = true;
            break;
        default:
            break;
        }
    }
}

void MakePaths(CwfsSettings& settings) {
    const common::DataRoot root = common::LookUpDataRoot(settings.dataRootVariable);
    settings.dataRoot = root.path;
    settings.dataFolder = common::DataFolderPath(root.path);
    settings.logFolder = settings.dataFolder + "cwfenglog";
}

}  // namespace cwfs
