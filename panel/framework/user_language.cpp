#include "panel/framework/user_language.h"

#include <cstdlib>
#include <string_view>

namespace panel {

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
