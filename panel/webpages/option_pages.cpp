#include "panel/webpages/option_pages.h"

#include <QVBoxLayout>
#include <string>

#include "common/proxy_values.h"
#include "panel/framework/list_file_edit.h"
#include "panel/framework/page_parts.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/registry_ops.h"
#include "panel/webpages/cache_clear.h"

namespace panel {
namespace {

namespace http = common::http_value;
namespace ftp = common::ftp_value;
namespace socks = common::socks_value;

std::function<void()> EditList(const char* fileName, ListPage page = ListPage::Http) {
    return [fileName, page] { EditListFile(fileName, WebListTemplate(fileName, page)); };
}

std::function<void()> ClearCache(CacheKind kind) {
    return [kind] { ClearCacheFolder(kind); };
}

QVBoxLayout* Column(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    return layout;
}

}  // namespace

// --- On/off pages ------------------------------------------------------------

CHttpSetDlg::CHttpSetDlg(int templateId, QWidget* parent)
    : SwitchAndLogPage(templateId, parent, {kHttpOnCheck, "ＨＴＴＰプロキシを有効にする。", http::kOn, kHttpLogCheck, http::kLog}) {}
CFtpSetupDlg::CFtpSetupDlg(int templateId, QWidget* parent)
    : SwitchAndLogPage(templateId, parent, {kFtpOnCheck, "ＦＴＰプロキシを有効にする。", ftp::kOn, kFtpLogCheck, ftp::kLog}) {}
CSocksSetDlg::CSocksSetDlg(int templateId, QWidget* parent)
    : SwitchAndLogPage(templateId, parent, {kSocksOnCheck, "ＳＯＣＫＳ（ｖ４／ｖ５）を有効にする。", socks::kOn, kSocksLogCheck, socks::kLog}) {}

// --- The pages -----------------------------------------------------------------

#define VELQOR_PAGE_CONSTRUCTOR(Class) \
    Class::Class(int templateId, QWidget* parent) : ValuePage(templateId, parent) {}

VELQOR_PAGE_CONSTRUCTOR(Chttp10dlg)
void Chttp10dlg::BuildTemplate() {
    auto* layout = Column(this);
    AddNumber(layout, kHttpConnectionsLabel, "同時接続数", kHttpConnectionsEdit, http::kMaxConnections, NumberKind::Signed, false);
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Chttpdlg00)
void Chttpdlg00::BuildTemplate() {
    auto* layout = Column(this);
    AddIpVersion(layout, http::kIpVersion);
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Chttp01dlg)
void Chttp01dlg::BuildTemplate() {
    auto* layout = Column(this);
    AddNumber(layout, 0, "キャッシュ有効期間（分）", kHttpCacheMinutesEdit, http::kCacheExpire, NumberKind::Unsigned32, false);
    AddButton(layout, kHttpCacheClearButton, "キャッシュをクリアする", ClearCache(CacheKind::Http));
    AddButton(layout, kNoCacheLinksButton, "キャッシュしないリンク", EditList("no-cache.db"));
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Cftpdlg00)
void Cftpdlg00::BuildTemplate() {
    auto* layout = Column(this);
    AddNumber(layout, kFtpConnectionsLabel, "同時接続数", kFtpConnectionsEdit, ftp::kMaxConnections, NumberKind::Signed, true);
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Cftpdlg10)
void Cftpdlg10::BuildTemplate() {
    auto* layout = Column(this);
    AddIpVersion(layout, ftp::kIpVersion);
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Cftpdlg11)
void Cftpdlg11::BuildTemplate() {
    auto* layout = Column(this);
    AddPortRange(layout, "データ通信ポート範囲", kDataPortStartEdit, ftp::kPortStart, NumberKind::Unsigned,
                 kDataPortEndEdit, ftp::kPortEnd, NumberKind::Unsigned);
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Cftpdlg12)
void Cftpdlg12::BuildTemplate() {
    auto* layout = Column(this);
    AddNumber(layout, 0, "キャッシュ有効期間（分）", kFtpCacheMinutesEdit, ftp::kCacheExpire, NumberKind::Unsigned32, false);
    AddButton(layout, kCacheClearButton, "キャッシュをクリアする", ClearCache(CacheKind::Ftp));
    AddButton(layout, kNoCacheLinksButton, "キャッシュしないリンク", EditList("no-cache.db"));
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Csocksdlg00)
void Csocksdlg00::BuildTemplate() {
    auto* layout = Column(this);
    AddNumber(layout, kSocksConnectionsLabel, "同時接続数", kSocksConnectionsEdit, socks::kMaxConnections, NumberKind::Unsigned, true);
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Csocksdlg10)
void Csocksdlg10::BuildTemplate() {
    auto* layout = Column(this);
    AddIpVersion(layout, socks::kIpVersion);
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Csocksdlg11)
void Csocksdlg11::BuildTemplate() {
    auto* layout = Column(this);
    AddRadioGroup(layout, "SOCKSバージョン", {{kSocksBothRadio, "併用"}, {kSocksV4OnlyRadio, "v4のみ"}, {kSocksV5OnlyRadio, "v5のみ"}}, socks::kType);
    layout->addStretch();
}

// The SOCKS proxy's FTP data ports take the FTP page's 0 to 65535 check:
// a port beyond it cannot be listened on.
VELQOR_PAGE_CONSTRUCTOR(Csocksdlg12)
void Csocksdlg12::BuildTemplate() {
    auto* layout = Column(this);
    AddPortRange(layout, "データ通信ポート範囲", kDataPortStartEdit, socks::kPortStart, NumberKind::Unsigned,
                 kDataPortEndEdit, socks::kPortEnd, NumberKind::Unsigned32);
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Csocksdlg13)
void Csocksdlg13::BuildTemplate() {
    auto* layout = Column(this);
    AddNumber(layout, 0, "キャッシュ有効期間（分）", kSocksCacheMinutesEdit, socks::kCacheExpire, NumberKind::Unsigned32, false);
    AddButton(layout, kCacheClearButton, "キャッシュをクリアする", ClearCache(CacheKind::Socks));
    AddButton(layout, kNoCacheLinksButton, "キャッシュしないリンク", EditList("no-cache.db"));
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Chttpdlg02)
void Chttpdlg02::BuildTemplate() {
    auto* layout = Column(this);
    AddButton(layout, kFoundWordPageButton, "禁止ワード発見", EditList("foundword.html"));
    AddButton(layout, kFoundVirusPageButton, "ウイルス発見", EditList("foundvirus.html"));
    layout->addStretch();
    // Only beside the anti-virus scan server.
    if (!ProgramPresent("orqavs")) FindControl(this, kFoundVirusPageButton)->hide();
}

VELQOR_PAGE_CONSTRUCTOR(Cftpdlg1)
void Cftpdlg1::BuildTemplate() {
    auto* layout = Column(this);
    AddButton(layout, kFtpConnectListButton, "接続アドレス編集", EditList("ftp-con.ini"));
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Csocksdlg1)
void Csocksdlg1::BuildTemplate() {
    auto* layout = Column(this);
    AddButton(layout, kSocksConnectListButton, "接続アドレス編集", EditList("socks-con.ini", ListPage::Socks));
    AddButton(layout, kSocksWhiteListButton, "ホワイトリスト編集", EditList("white.db", ListPage::Socks));
    AddButton(layout, kSocksBlackListButton, "ブラックリスト編集", EditList("black.db", ListPage::Socks));
    AddButton(layout, kSocksUriblButton, "ＵＲＩＢＬ編集", EditList("socks-dnsbl.db", ListPage::Socks));
    AddButton(layout, kSocksProtocolsButton, "接続先プロトコル設定", EditList("socks-ptl.ini", ListPage::Socks));
    layout->addStretch();
}

#undef VELQOR_PAGE_CONSTRUCTOR

}  // namespace panel
