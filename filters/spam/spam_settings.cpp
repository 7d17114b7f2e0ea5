#include "filters/spam/spam_settings.h"

#include "common/ascii_case.h"
#include "common/data_folder.h"
#include "common/option_arg.h"

namespace spam {

namespace {
constexpr size_t kNameLimit = 260;
}

SpamSettings& Settings() {
    static SpamSettings settings;
    return settings;
}

void ReadOptions(const std::vector<std::string>& args, SpamSettings& settings) {
    for (const std::string& arg : args) {
        common::OptionArg option = common::ParseOptionArg(arg);
        switch (common::LowerAscii(option.letter)) {
            case 'd': settings.dateCheck = true; break;
            case 'e': settings.dataRootVariable = option.value.substr(0, kNameLimit); break;
            case 's': settings.spfCheck = true; break;
            case 't': settings.subjectTag = option.value; break;
            case 'w': settings.logToFile = true; break;
            default: break;
        }
    }
}

void MakePaths(SpamSettings& settings) {
    settings.dataRoot = common::LookUpDataRoot(settings.dataRootVariable).path;
    settings.dataFolder = common::DataFolderPath(settings.dataRoot);
    settings.logFolder = settings.dataFolder + "spamenglog";
    settings.zoneFile = settings.dataFolder + "spam-dnsbl.db";
    settings.shortUrlFile = settings.dataFolder + "shorturl.db";
    settings.keywordFile = settings.dataFolder + "spamkeyword.db";
    settings.passSpfFile = settings.dataFolder + "passspf.db";
}

}  // namespace spam
