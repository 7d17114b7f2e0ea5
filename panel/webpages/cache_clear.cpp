#include "panel/webpages/cache_clear.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <QProgressBar>
#include <algorithm>
#include <string>
#include <vector>

#include "panel/framework/indicator_dlg.h"
#include "panel/framework/message_box.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/strings.h"

namespace panel {
namespace {

std::vector<std::string> Folders(CacheKind kind) {
    std::string data = DataFolder();
    switch (kind) {
    case CacheKind::Http: return {data + "httpcache"};
    case CacheKind::Ftp: return {data + "ftpcache"};
    case CacheKind::Socks: return {data + "httpcache", data + "ftpcache"};
    }
    return {};
}

bool IsDotEntry(const char* name) { return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)); }

// Calls visit(folder descriptor, name) for each entry but "." and "..";
// a folder that cannot be opened has none. The folder itself is opened
// without following a link, so a cache folder replaced by a link to
// elsewhere is not emptied.
template <typename Visit>
void ForEachEntry(const std::string& folder, Visit visit) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    while (dirent* entry = ::readdir(dir))
        if (!IsDotEntry(entry->d_name)) visit(::dirfd(dir), entry->d_name);
    ::closedir(dir);
}

}  // namespace

void ClearCacheFolder(CacheKind kind, const std::function<void(const IndicatorDlg&)>& afterStep) {
    const int during = kind == CacheKind::Http ? 157 : kind == CacheKind::Ftp ? 158 : 163;
    const int after = kind == CacheKind::Http ? 159 : kind == CacheKind::Ftp ? 160 : 164;
    IndicatorDlg indicator;
    indicator.text = LoadString(during);
    indicator.Create();

    int count = 0;
    for (const std::string& folder : Folders(kind)) ForEachEntry(folder, [&count](int, const char*) { ++count; });
    indicator.SetRange(count);

    int done = 0;
    for (const std::string& folder : Folders(kind)) {
        ForEachEntry(folder, [&](int dirFd, const char* name) {
            // Removes a file or a link itself; a sub-folder refuses and
            // stays. Nothing is built into a path buffer.
            ::unlinkat(dirFd, name, 0);
            ++done;
            // Entries that came meanwhile would run past the range.
            indicator.SetPosition(std::min(done, count));
            if (afterStep) afterStep(indicator);
        });
    }
    indicator.close();
    ShowMessage(nullptr, LoadString(after), QMessageBox::Information);
}

}  // namespace panel
