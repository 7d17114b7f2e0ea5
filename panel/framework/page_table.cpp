#include "panel/framework/page_table.h"

#include "panel/framework/settings_page.h"

namespace panel {

const std::array<PageInfo, kPageCount>& Pages() {
    static const std::array<PageInfo, kPageCount> pages = {{
        {"CHttpSetDlg", 190},       {"Chttp1dlg", 161},         {"Chttp10dlg", 110},
        {"Chttpdlg", 137},          {"Chttpdlg00", 113},        {"Chttp01dlg", 112},
        {"Chttpdlg02", 114},        {"Chttp2dlg", 162},         {"Chttp20dlg", 115},
        {"CLDAPDlg", 175},          {"CFtpSetupDlg", 192},      {"Cftpdlg", 176},
        {"Cftpdlg00", 116},         {"Cftpdlg1", 177},          {"Cftpdlg10", 117},
        {"Cftpdlg11", 118},         {"Cftpdlg12", 119},         {"CSmtpSetDlg", 191},
        {"Csmtpdlg", 138},          {"Csmtpdlg00", 121},        {"Csmtpdlg1", 171},
        {"Csmtpdlg10", 122},        {"Csmtpdlg11", 123},        {"Csorvant", 182},
        {"Csorvant00", 126},        {"Csorvant01", 127},        {"Csmtpdlg12", 124},
        {"CPop3SetDlg", 193},       {"Cpop3dlg", 139},          {"Cpop3dlg00", 128},
        {"Cpop3dlg1", 172},         {"Cpop3dlg10", 130},        {"Cpop3dlg11", 131},
        {"CSocksSetDlg", 194},      {"Csocksdlg", 178},         {"Csocksdlg00", 133},
        {"Csocksdlg1", 179},        {"Csocksdlg10", 135},       {"Csocksdlg11", 136},
        {"Csocksdlg12", 140},       {"Csocksdlg13", 141},       {"Csocks2dlg", 181},
        {"Csocks2dlg00", 134},      {"CSpamCheckSetDlg", 196},  {"CSpamCheckSetDlg0", 142},
        {"CAntiVirusSetDlg", 195},  {"CAntiVirusSetDlg0", 145}, {"CAntiVirusSetDlg1", 146},
        {"CAntiVirusSetDlg2", 147}, {"CSendDlg", 132},
    }};
    return pages;
}

const std::vector<TreeRow>& TreeRows() {
    static const std::vector<TreeRow> rows = {
        {"HTTPプロキシ", 0, kHttpSetDlg, 0, "orqhprx"},
        {"同時接続数", 8, kChttp10dlg, 1, nullptr},
        {"接続情報", 8, kChttp1dlg, 1, nullptr},
        {"認証情報", 10, kChttp20dlg, 1, nullptr},
        {"ユーザ情報", 10, kChttp2dlg, 2, nullptr},
        {"LDAP認証設定", 10, kLDAPDlg, 2, nullptr},
        {"接続制限", 9, kChttpdlg, 1, nullptr},
        {"ＩＰバージョン", 9, kChttpdlg00, 1, nullptr},
        {"キャッシュ", 9, kChttp01dlg, 1, nullptr},
        {"警告表示編集", 9, kChttpdlg02, 1, nullptr},
        {"FTPプロキシ", 1, kFtpSetupDlg, 0, "orqfprx"},
        {"同時接続数", 8, kCftpdlg00, 1, nullptr},
        {"接続情報", 8, kCftpdlg, 1, nullptr},
        {"接続制限", 8, kCftpdlg1, 1, nullptr},
        {"ＩＰバージョン", 8, kCftpdlg10, 1, nullptr},
        {"ポート範囲", 8, kCftpdlg11, 1, nullptr},
        {"キャッシュ", 8, kCftpdlg12, 1, nullptr},
        {"SMTPプロキシ", 2, kSmtpSetDlg, 0, "orqsprx"},
        {"同時接続数", 8, kCsmtpdlg00, 1, nullptr},
        {"接続情報", 8, kCsmtpdlg, 1, nullptr},
        {"接続制限", 8, kCsmtpdlg1, 1, nullptr},
        {"ＤＮＳＢＬ", 8, kCsmtpdlg10, 1, nullptr},
        {"ＩＰバージョン", 8, kCsmtpdlg11, 1, nullptr},
        {"誤送信防止", 8, kCsorvant01, 1, "orqsvt"},
        {"送信先情報制御", 8, kCsorvant00, 2, nullptr},
        {"添付暗号化", 8, kCsorvant, 2, nullptr},
        {"アーカイブ", 8, kCsmtpdlg12, 1, nullptr},
        {"POP3プロキシ", 3, kPop3SetDlg, 0, "orqpprx"},
        {"同時接続数", 8, kCpop3dlg00, 1, nullptr},
        {"接続情報", 8, kCpop3dlg, 1, nullptr},
        {"接続制限", 9, kCpop3dlg1, 1, nullptr},
        {"ＩＰバージョン", 9, kCpop3dlg10, 1, nullptr},
        {"ウィルス発見時", 9, kCpop3dlg11, 1, "orqavs"},
        {"SOCKSプロキシ", 4, kSocksSetDlg, 0, "orqcprx"},
        {"同時接続数", 8, kCsocksdlg00, 1, nullptr},
        {"接続情報", 8, kCsocksdlg, 1, nullptr},
        {"認証情報", 9, kCsocks2dlg00, 1, nullptr},
        {"ユーザ情報", 10, kCsocks2dlg, 2, nullptr},
        {"LDAP認証設定", 10, kLDAPDlg, 2, nullptr},
        {"接続制限", 9, kCsocksdlg1, 1, nullptr},
        {"ＩＰバージョン", 9, kCsocksdlg10, 1, nullptr},
        {"ＳＯＣＫＳバージョン", 9, kCsocksdlg11, 1, nullptr},
        {"ＦＴＰポート範囲", 9, kCsocksdlg12, 1, nullptr},
        {"キャッシュ", 9, kCsocksdlg13, 1, nullptr},
        {"アンチスパム", 5, kSpamCheckSetDlg, 0, "orqspam"},
        {"判定条件", 8, kSpamCheckSetDlg0, 1, nullptr},
        {"アンチウイルス", 6, kAntiVirusSetDlg, 0, "orqavs"},
        {"データ更新", 8, kAntiVirusSetDlg0, 1, nullptr},
        {"プロセス監視", 8, kAntiVirusSetDlg1, 1, nullptr},
        {"リアルタイム監視", 8, kAntiVirusSetDlg2, 1, nullptr},
        {"ウィルス発見時", 8, kSendDlg, 1, nullptr},
    };
    return rows;
}

const std::array<int, 14>& TreeImageIcons() {
    static const std::array<int, 14> icons = {185, 197, 187, 188, 186, 189, 198, 199, 207, 208, 209, 203, 204, 202};
    return icons;
}

const std::vector<PageSlot>& SaveOrder() {
    static const std::vector<PageSlot> order = {
        kHttpSetDlg,   kChttpdlg,        kChttp1dlg,        kChttp10dlg,       kChttpdlg00,
        kChttp01dlg,   kChttp2dlg,       kChttp20dlg,       kLDAPDlg,          kFtpSetupDlg,
        kCftpdlg,      kCftpdlg00,       kCftpdlg10,        kCftpdlg11,        kCftpdlg12,
        kSmtpSetDlg,   kCsmtpdlg,        kCsmtpdlg1,        kCsmtpdlg00,       kCsmtpdlg11,
        kCsorvant,     kCsmtpdlg12,      kCsorvant00,       kCsorvant01,       kPop3SetDlg,
        kCpop3dlg,     kCpop3dlg00,      kCpop3dlg10,       kCpop3dlg11,       kSocksSetDlg,
        kCsocksdlg,    kCsocksdlg00,     kCsocksdlg10,      kCsocksdlg11,      kCsocksdlg12,
        kCsocksdlg13,  kCsocks2dlg,      kCsocks2dlg00,     kSpamCheckSetDlg,  kSpamCheckSetDlg0,
        kAntiVirusSetDlg, kAntiVirusSetDlg0, kAntiVirusSetDlg1, kAntiVirusSetDlg2, kSendDlg,
    };
    return order;
}

const std::vector<PageSlot>& ListPages() {
    static const std::vector<PageSlot> pages = {kChttp1dlg, kChttp2dlg, kCftpdlg,  kCsmtpdlg,
                                                kCpop3dlg,  kCsocksdlg, kCsocks2dlg};
    return pages;
}

const std::vector<PageSlot>& SectionPages() {
    static const std::vector<PageSlot> pages = {kHttpSetDlg, kFtpSetupDlg,     kSmtpSetDlg,     kPop3SetDlg,
                                                kSocksSetDlg, kSpamCheckSetDlg, kAntiVirusSetDlg};
    return pages;
}

namespace {

std::array<PageMaker, kPageCount>& PageMakers() {
    static std::array<PageMaker, kPageCount> makers;
    return makers;
}

}  // namespace

void RegisterPageMaker(PageSlot slot, PageMaker maker) {
    if (slot >= 0 && slot < kPageCount) PageMakers()[slot] = std::move(maker);
}

PageFactory DefaultPageFactory() {
    return [](PageSlot slot, int templateId) -> std::unique_ptr<SettingsPage> {
        if (slot >= 0 && slot < kPageCount && PageMakers()[slot]) return PageMakers()[slot](templateId);
        return std::make_unique<SettingsPage>(templateId);
    };
}

}  // namespace panel
