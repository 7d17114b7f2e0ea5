#include "panel/mailpages/mail_list_texts.h"

namespace panel {
namespace {

using Lines = std::vector<std::string>;

const std::string kRule = "'------------------------------------------------------------------";
const std::string kNote1 = "'コメント行にするには、１カラム目に半角スペース、シングルクォーテーション、";
const std::string kNote2 = "'ダブルクォーテーションを指定してください";
const std::string kZone = "bl.spamcop.net";

Lines BlocklistZoneHeader() {
    return {kRule,
            "'このファイルへは、接続サイトのＩＰアドレスについてここに記載するＤＮＳＢＬで",
            "'不正な中継に含まれたことのあるＩＰアドレスであるか判定を行う場合に設定します。",
            kNote1,
            kNote2,
            kRule,
            "'例）",
            "'" + kZone,
            kRule};
}

Lines BlocklistExemptHeader() {
    return {kRule,
            "'このファイルへは、ＤＮＳＢＬでの問合せを無視させたいＩＰアドレスを記述して下さい。",
            "'指定できるIPアドレスは、ワイルドカード及び、ネットマスクを使用できます。",
            kNote1,
            kNote2,
            kRule,
            "'例）",
            "'192.168.0.0/28",
            kRule};
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
