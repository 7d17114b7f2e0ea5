// What the word filter reads around its pipe request (which
// common/pipe_messages.h splits): the sizes of request and reply, and the
// head of the stored response a request names.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace cwfs {

// The charset of a lower-cased Content-Type value: the text after
// "charset=" without leading blanks and double quotes, cut at a blank, a
// double quote, ";", CR or LF; the fallback when there is none.
std::string CharsetOf(std::string_view contentType, const std::string& fallback);

// The charset a page names in a meta element of its head
// ('<meta charset="utf-8">' or '<meta http-equiv="content-type"
// content="text/html; charset=euc-jp">'), lower-cased; empty when it names
// none. Only the head (up to "</head>" or "<body") is looked at.
std::string MetaCharset(std::string_view pageStart);

// Reads the head of the open stored response up to and including its empty
// line (LF or CR LF alone), whole lines however long. True when the empty
// line was found: the file is then at the start of the body.
bool SkipResponseHead(FILE* file);

}  // namespace cwfs
