// The user's language, as the panel's texts and editors choose by it.
#pragma once

namespace panel {

// 1041 (Japanese) when the first non-empty of LC_ALL, LC_MESSAGES and LANG
// names the language "ja", else 1033.
int GetUserDefaultLangID();

}  // namespace panel
