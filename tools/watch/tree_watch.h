// Watching one place (a folder and everything below it) with inotify: a
// watch on each folder, symlinks never followed, /proc, /sys, /dev and
// /run never entered. New, written-and-closed and moved-in files go to the
// scan queue unless a white list leaves them out.
#pragma once

#include <string>

#include "tools/watch/file_watch.h"
#include "tools/watch/scan_queue.h"

namespace watch {

// Runs for ever. A place that is missing, or goes away, is waited for
// once a second.
void WatchFolderThread(const WatchContext& context, ScanQueue& queue, std::string place);

}  // namespace watch
