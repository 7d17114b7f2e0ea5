// The text a new list file of the web proxy pages receives: its commented
// header and, for some files, default rows. Lines are UTF-8 and carry no
// line end; each is written as one line of the file.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace panel {

// The lines every list file's header is framed and explained with: the rule
// above and below, and the two-line note on how a line becomes a comment.
inline const std::string kListRule = "'------------------------------------------------------------------";
inline const std::string kCommentNote1 = "'コメント行にするには、１カラム目に半角スペース、シングルクォーテーション、";
inline const std::string kCommentNote2 = "'ダブルクォーテーションを指定してください";

// A list file's commented header in the usual frame: the rule, what the
// file is for, the note on comment lines, the rule, the example, the rule.
std::vector<std::string> CommentedHeader(std::initializer_list<std::string> about,
                                         std::initializer_list<std::string> example);

struct ListFileTemplate {
    std::vector<std::string> header;
    std::vector<std::string> rows;
};

// Which page opens a shared file decides its default rows: white.db gets
// 12 from the HTTP page and 11 from the SOCKS page.
enum class ListPage { Http, Socks };

// The template of one of the web proxy pages' files ("http-con.ini",
// "no-cache.db", "white.db", "foundvirus.html", ...); empty for other names.
ListFileTemplate WebListTemplate(std::string_view fileName, ListPage page = ListPage::Http);

}  // namespace panel
