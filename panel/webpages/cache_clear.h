// Emptying the HTTP and FTP proxies' cache folders from the cache pages,
// with the progress indicator.
#pragma once

#include <functional>

namespace panel {

class IndicatorDlg;

enum class CacheKind { Http, Ftp, Socks };  // SOCKS empties both folders

// Deletes every file and link in the kind's cache folders ("httpcache",
// "ftpcache" of the data folder, as the engine names them); a sub-folder
// stays, a link is removed without touching its target. The indicator
// shows the steps; a message box tells the end. `afterStep` (tests) sees
// the indicator after each step.
void ClearCacheFolder(CacheKind kind, const std::function<void(const IndicatorDlg&)>& afterStep = {});

}  // namespace panel
