// What the spam server reads from a request besides its fields (split by
// common/pipe_messages.h): the mail's short name for its log lines.
#pragma once

#include <string>
#include <string_view>

namespace spam {

// "req-1-0007" of ".../cache/req-1-0007.dat": the file name up to its first dot.
std::string ShortMailName(std::string_view mailPath);

}  // namespace spam
