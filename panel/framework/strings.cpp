#include "panel/framework/strings.h"

#include <map>

namespace panel {
namespace {

// Texts exactly as the panel shows them, line ends included.
const std::map<int, const char*>& Table() {
    static const std::map<int, const char*> table = {
        {101, "VELQOR Server V2 のﾊﾞｰｼﾞｮﾝ情報(&A)..."},
        {102, "VELQOR Server V2"},
        {105, "Tavrisk %s"},
        {133, "VELQOR Server ウィルスアラート"},
        {134, "VELQOR Server 監視フォルダ設定"},
        {135, "VELQOR Server フォルダ選択"},
        {136, "VELQOR Server"},
        {139, "VELQOR Server HTTP接続情報設定"},
        {144, "VELQOR Server POP3接続情報設定"},
        {145, "VELQOR Server POP3詳細設定"},
        {146, "VELQOR Server SMTP接続情報設定"},
        {147, "VELQOR Server SMTP詳細設定"},
        {152, "v2.014"},
        {153, "VELQOR Server FTP接続情報設定"},
        {157, "HTTPキャッシュクリア中...."},
        {158, "FTPキャッシュクリア中...."},
        {159, "HTTPキャッシュクリアしました。"},
        {160, "FTPキャッシュクリアしました。"},
        {161, "VELQOR Server SOCKS接続情報設定"},
        {163, "SOCKSキャッシュクリア中...."},
        {164, "SOCKSキャッシュクリアしました。"},
        {170, "証明書"},
        {171, "秘密鍵"},
        {172, "IPv6アドレスの暗号化は設定できません。"},
        {173, "同一の’リッスンＩＰ＆ポート'の組合せが既に登録されています。\r\n"
              "追加を行う場合は、登録済みの設定から削除を行う必要があります。"},
        {176, "新バージョンの移行の際注意点\r\n"
              "１．旧バージョンのサービスは起動しないようにサービス停止＆削除してください。\r\n"
              "２．データ移行完了後に再びプログラムを起動してください。\r\n"
              "３．新バージョンのサービスへの登録を行って下さい。"},
        {177, "旧バージョンの設定をそのまま引き継ぎますか？"},
        {178, "ウィルススキャンエンジンが起動していません。\r\n"
              "スキャンエンジンが起動されてから再度実行してください。"},
        {179, "設定が反映されるには、再起動が必要です。\n再起動を行いますか？"},
        {188, "適用しました。"},
        // The dialog framework's messages for number fields.
        {61712, "整数を入力してください。"},
        {61714, "%1 から %2 までの整数を入力してください。"},
        {61715, "%1 文字以内で入力してください。"},
        {61719, "正の整数を入力してください。"},
    };
    return table;
}

}  // namespace

QString LoadString(int id) {
    auto it = Table().find(id);
    return it == Table().end() ? QString() : QString::fromUtf8(it->second);
}

}  // namespace panel
