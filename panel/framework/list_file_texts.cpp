#include "panel/framework/list_file_texts.h"

namespace panel {
namespace {

using Lines = std::vector<std::string>;

// The example host and the blocklist zone of the comment lines.
const std::string kExampleHost = "www.example.com";
const std::string kZone = "multi.surbl.org";

Lines ClientAccessHeader() {
    return CommentedHeader(
        {"'このファイルは、接続許可及び拒否したいIPアドレスを設定するファイルです。",
         "'指定できるIPアドレスは、ワイルドカード及び、ネットマスクを使用でき、",
         "'拒否IPを指定する場合は、IPアドレスの記述に半角スペースを挟み'reject'",
         "'と記入してください。"},
        {"'例）192.168.0.0～192.168.0.15以外のIPからの接続を禁止する場合。",
         "'192.168.0.0/28",
         "'* reject"});
}

Lines NoCacheHeader() {
    return {kListRule,
            "'このファイルへは、プロキシ内のキャッシュ情報を無視したい接続先及び",
            "'リンクを記述して下さい。",
            "'リンク先にはアスタリスクによるワイルドカード指定が可能です。",
            kCommentNote1,
            kCommentNote2,
            kListRule,
            "'書式１）http,,HTTP接続先IP or FDQN,接続先ポート,接続先のリンクフォルダ",
            "'http,," + kExampleHost + ",80,/test/*",
            "'http,,210.134.xxx.xxx,80,/test/*",
            kListRule,
            "'書式２）ftp,FTP接続時ID,FTP受信IP,受信ポート,接続先のリンクフォルダ",
            "'ftp,userid,192.168.0.10,8021,/test/*",
            kListRule};
}

Lines BlackListHeader() {
    return CommentedHeader(
        {"'このファイルへは、参照を禁止したいURLを記述して下さい。",
         "'URL内にはアスタリスクによるワイルドカード指定が可能です。"},
        {"'例）",
         "'http://" + kExampleHost + "/",
         "'http://" + kExampleHost + "/bbb/",
         "'http://*.co.jp/",
         "'http://*.co.jp/*"});
}

Lines WhiteListHeader() {
    return CommentedHeader(
        {"'このファイルへは、ウイルスチェックを無効としたいURLを記述して下さい。",
         "'URL内にはアスタリスクによるワイルドカード指定が可能です。"},
        {"'例）",
         "'http://*.html",
         "'http://" + kExampleHost + "/",
         "'http://" + kExampleHost + "/bbb/",
         "'http://*.co.jp/",
         "'http://*.co.jp/*"});
}

Lines WhiteListRows(ListPage page) {
    Lines rows = {"http://*.htm", "http://*.html", "http://*.shtml", "http://*.dat",
                  "http://*.swf", "http://*.css",  "http://*.ico",   "http://*.gif",
                  "http://*.jpg", "http://*.png",  "http://*.bmp",   "http://*.wma"};
    if (page == ListPage::Socks) rows.pop_back();
    return rows;
}

Lines DnsblHeader() {
    return CommentedHeader(
        {"'このファイルへは、接続サイトのドメインについてここに記載するDNSBLやSURBLで",
         "'スパムメールに含まれたことのあるドメインであるか判定を行う場合に設定します。"},
        {"'例）",
         "'" + kZone});
}

Lines ForbiddenWordHeader() {
    return CommentedHeader(
        {"'このファイルは、ＨＴＴＰプロキシ経由でのＨＴＭＬファイル参照時に",
         "'指定したワードが含まれるＨＴＭＬファイルの参照を禁止するための設定ファイルです。",
         "'指定ワードは１行単位で設定を行います。１行あたり最大５１２バイトまでを検査ワード",
         "'として処理を行います。",
         "'なお、指定できるキーワードには、ワイルドカードの使用が可能です。"},
        {"'例１）HTMLファイル文中に'アダルト'という文字列が含まれている場合の参照禁止。",
         "'*アダルト*",
         "'例２）HTMLファイル文中に'Ａ社'に続き'出会い'にという文字列が含まれている場合の参照禁止。",
         "'*Ａ社*出会い*"});
}

Lines SocksProtocolHeader() {
    return {kListRule,
            "'このファイルへは、SOCKSプロトコルで指定された接続先のポートに対する",
            "'プロトコルを定義します。",
            "'定義することにより、プロトコルに従ったウイルスチェック、スパムチェック",
            "'の処理を実施します。",
            kCommentNote1,
            kCommentNote2,
            "'書式は以下の通りです。",
            "'IPアドレス:ポート番号,プロトコル指定番号,暗号通信フラグ,コメント（任意）",
            "'[プロトコル指定番号]は以下の通りです。",
            "' 0 = http",
            "' 1 = smtp",
            "' 2 = pop3",
            "' 3 = 内部予約",
            "' 4 = ftp",
            "' 5 = ftp data",
            "' 6 = telnet/ssh/その他",
            "'[暗号通信フラグ]は以下の通りです。",
            "' 0 = 暗号化なし",
            "' 1 = 暗号化あり（SSLやTSL通信の場合等）又はトンネリング",
            kListRule,
            "'例）",
            "'*:80,0,0,http",
            kListRule};
}

Lines SocksProtocolRows() {
    return {"*:80,0,0,http",   "*:25,1,0,smtp",   "*:110,2,0,pop3",
            "*:21,4,0,ftp",    "*:22,6,1,ssh",    "*:23,6,1,telnet",
            "*:443,0,1,https", "*:465,1,1,smtp over ssl/tsl", "*:995,2,1,pop3 over ssl/tsl"};
}

// A block page: one text whose two "%s" places the proxy engine fills,
// ending in a carriage return before the line end.
std::string BlockPage(const std::string& comment, const std::string& message) {
    return "<html><head><meta http-equiv=content-type content=\"text/html; charset=shift-jis\">"
           "<title>Blocked %s</title><!-- " + comment + "--></head><body><font color=\"gray\" size=\"2\">" +
           message + "<br><font size=\"1\">%s</font></font><!-- " + comment + "--></body></html>\r";
}

}  // namespace

std::vector<std::string> CommentedHeader(std::initializer_list<std::string> about,
                                         std::initializer_list<std::string> example) {
    Lines lines{kListRule};
    lines.insert(lines.end(), about);
    lines.insert(lines.end(), {kCommentNote1, kCommentNote2, kListRule});
    lines.insert(lines.end(), example);
    lines.push_back(kListRule);
    return lines;
}

ListFileTemplate WebListTemplate(std::string_view fileName, ListPage page) {
    if (fileName == "http-con.ini" || fileName == "ftp-con.ini" || fileName == "socks-con.ini")
        return {ClientAccessHeader(), {}};
    if (fileName == "no-cache.db") return {NoCacheHeader(), {}};
    if (fileName == "black.db") return {BlackListHeader(), {}};
    if (fileName == "white.db") return {WhiteListHeader(), WhiteListRows(page)};
    if (fileName == "http-dnsbl.db" || fileName == "socks-dnsbl.db") return {DnsblHeader(), {kZone}};
    if (fileName == "cwf.db") return {ForbiddenWordHeader(), {}};
    if (fileName == "socks-ptl.ini") return {SocksProtocolHeader(), SocksProtocolRows()};
    if (fileName == "foundvirus.html")
        return {{BlockPage("ここにはウイルス名が記載されます。削除してはいけません。",
                           "アンチウイルス機能により、遮断されました。"),
                 ""},
                {}};
    if (fileName == "foundword.html")
        return {{BlockPage("ここには禁止ワードが記載されます。削除してはいけません。",
                           "コンテンツフィルタ機能により、遮断されました。")},
                {}};
    return {};
}

}  // namespace panel
