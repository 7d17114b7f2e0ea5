#include "panel/mailpages/mail_list_texts.h"

namespace panel {
namespace {

using Lines = std::vector<std::string>;

const std::string kZone = "bl.spamcop.net";

Lines BlocklistZoneHeader() {
    return CommentedHeader(
        {"'このファイルへは、接続サイトのＩＰアドレスについてここに記載するＤＮＳＢＬで",
         "'不正な中継に含まれたことのあるＩＰアドレスであるか判定を行う場合に設定します。"},
        {"'例）",
         "'" + kZone});
}

Lines BlocklistExemptHeader() {
    return CommentedHeader(
        {"'このファイルへは、ＤＮＳＢＬでの問合せを無視させたいＩＰアドレスを記述して下さい。",
         "'指定できるIPアドレスは、ワイルドカード及び、ネットマスクを使用できます。"},
        {"'例）",
         "'192.168.0.0/28"});
}

}  // namespace

ListFileTemplate MailListTemplate(std::string_view fileName) {
    // Every protocol's admission list starts with the same header.
    if (fileName == "smtp-con.ini" || fileName == "pop3-con.ini") return {WebListTemplate("http-con.ini").header, {}};
    if (fileName == "smtp-conbl.db") return {BlocklistZoneHeader(), {}};
    if (fileName == "smtp-conwl.db") return {BlocklistExemptHeader(), {}};
    return {};
}

}  // namespace panel
