#include "panel/mailpages/mail_filter_texts.h"

namespace panel {
namespace {

using Lines = std::vector<std::string>;

// A public URI blocklist zone: the one active row of a new spam-dnsbl.db.
const std::string kUriZone = "multi.surbl.org";

}  // namespace

ListFileTemplate MailFilterTemplate(std::string_view fileName) {
    if (fileName == "smtp-zip.db")
        return {{kListRule, "'このファイルは、誤送信対策を行うリッスンIP:ポートを設定する", "'ファイルです。",
                 "'対象となるリッスンIP:ポートを  <IP>:<Port> として記入して下", "'さい。",
                 "'コメント行にするには、１カラム目に半角スペース、シングルク",
                 "'ォーテーション、ダブルクォーテーションを指定してください。", kListRule,
                 "'例）リッスンIP/ポートが192.168.0.10:8025へ接続されたSMTP送信について",
                 "'　　誤送信対策を行う場合", "'192.168.0.10:8025", kListRule},
                {}};
    if (fileName == "ziped-message.txt")
        return {{"このメールには添付ファイルが含まれていました。", "", "セキュリティを高める為に、解凍パスワードが必要な圧縮ファイル",
                 "にして送信しました。", "圧縮ファイルはZIP形式ですので拡張子が異なる場合は、'zip'に",
                 "変更して解凍してください。", "", "解凍用パスワードは、同名タイトルとして別途送付される、メールに",
                 "記載されています。"},
                {}};
    if (fileName == "ziped-pw-message.txt")
        // "%s" is where the archiving server puts the password.
        return {{"同名タイトルとして送付された、メールの解凍用パスワー", "ドをお知らせします。", "",
                 "解凍用パスワードは、'%s'です。"},
                {}};
    if (fileName == "spamkeyword.db")
        return {{kListRule, "'このファイルへは、受信メールの本文中の文字列と、ここに記載するキーワードと",
                 "'比較判定を行う場合に設定します。", kCommentNote1, "'ダブルクォーテーションを指定してください。",
                 "'キーワードには'*'ワイルドカードを指定することができます。",
                 "'半角英数字の判定は、大小文字の区別はありません。", kListRule,
                 "'例１）行内に'出会い系'という文字列が含まれている", "'*出会い系*",
                 "'例１）行内に'出'と'会'と'い'と'系'という文字が順番に含まれている", "'*出*会*い*系*", kListRule},
                {}};
    if (fileName == "passspf.db")
        return {{kListRule, "'このファイルへは、送信ドメイン認証（ＳＰＦ１）での判定をスキップさせたい",
                 "'接続ＩＰアドレスを設定します。", kCommentNote1, "'ダブルクォーテーションを指定してください。", kListRule,
                 "'例）", "'192.168.1.*", "'192.168.2/28", kListRule},
                {}};
    if (fileName == "spam-dnsbl.db")
        return {CommentedHeader({"'このファイルへは、ここに記載するSURBLサイトで受信メールに記載された",
                                 "'URL等のドメインについてスパムブラックリストに記載があるドメインであるか",
                                 "'判定を行う場合に設定します。"},
                                {"'例）", "'" + kUriZone}),
                {kUriZone}};
    return {};
}

}  // namespace panel
