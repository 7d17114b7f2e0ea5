#include "panel/webpages/option_pages.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <string>

#include "panel/framework/list_file_edit.h"
#include "panel/framework/page_parts.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/registry_ops.h"
#include "panel/webpages/cache_clear.h"

namespace panel {
namespace {

uint32_t ReadValue(const char* name) { return RegReadDword(kProductSettingsKey, name, 0); }

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
    : SwitchAndLogPage(templateId, parent, {1002, "ＨＴＴＰプロキシを有効にする。", "http", 1020, "httplog"}) {}
CFtpSetupDlg::CFtpSetupDlg(int templateId, QWidget* parent)
    : SwitchAndLogPage(templateId, parent, {1017, "ＦＴＰプロキシを有効にする。", "ftp", 1022, "ftplog"}) {}
CSocksSetDlg::CSocksSetDlg(int templateId, QWidget* parent)
    : SwitchAndLogPage(templateId, parent, {1019, "ＳＯＣＫＳ（ｖ４／ｖ５）を有効にする。", "socks", 1027, "sockslog"}) {}

// --- Value pages ---------------------------------------------------------------

ValuePage::ValuePage(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void ValuePage::AddNumber(QBoxLayout* layout, int labelId, const char* label, int editId, const char* value,
                          NumberKind kind, bool ranged) {
    auto* row = new QHBoxLayout;
    row->addWidget(Static(this, labelId, label));
    row->addWidget(Edit(this, editId));
    row->addStretch();
    layout->addLayout(row);
    Value v;
    v.name = value;
    v.ids = {editId};
    v.kind = kind;
    v.ranged = ranged;
    values_.push_back(v);
}

void ValuePage::AddPortRange(QBoxLayout* layout, const char* startValue, NumberKind startKind, const char* endValue,
                             NumberKind endKind) {
    auto* group = Group(this, 0, "データ通信ポート範囲");
    auto* row = new QHBoxLayout(group);
    row->addWidget(Edit(group, 1211));
    row->addWidget(Static(group, 0, "～"));
    row->addWidget(Edit(group, 1212));
    layout->addWidget(group);
    for (auto [name, id, kind] : {std::tuple{startValue, 1211, startKind}, std::tuple{endValue, 1212, endKind}}) {
        Value v;
        v.name = name;
        v.ids = {id};
        v.kind = kind;
        v.ranged = true;
        values_.push_back(v);
    }
}

void ValuePage::AddRadioGroup(QBoxLayout* layout, const char* title, std::vector<std::pair<int, const char*>> radios,
                              const char* value) {
    auto* group = Group(this, 0, title);
    auto* column = new QVBoxLayout(group);
    Value v;
    v.name = value;
    v.radio = true;
    // One exclusive group whose buttons may all be off: a stored value
    // outside the group shows no choice.
    auto* buttons = new QButtonGroup(group);
    for (const auto& [id, text] : radios) {
        auto* radio = Radio(group, id, text);
        buttons->addButton(radio);
        column->addWidget(radio);
        v.ids.push_back(id);
    }
    layout->addWidget(group);
    values_.push_back(v);
}

void ValuePage::AddIpVersion(QBoxLayout* layout, const char* value) {
    AddRadioGroup(layout, "ＩＰバージョン", {{1139, "IPv4のみ"}, {1140, "IPv6のみ"}, {1141, "併用"}}, value);
}

void ValuePage::AddButton(QBoxLayout* layout, int id, const char* text, std::function<void()> action) {
    auto* row = new QHBoxLayout;
    row->addWidget(Button(this, id, text));
    row->addStretch();
    layout->addLayout(row);
    buttons_.emplace_back(id, std::move(action));
}

void ValuePage::OnInitDialog() {
    for (auto& [id, action] : buttons_) AttachButton(this, id, action);
    for (Value& v : values_) {
        v.stored = ReadValue(v.name);
        if (v.radio) {
            v.choice = static_cast<int>(v.stored);
            BindRadio(v.ids, v.choice);
        } else {
            v.number = v.stored;
            BindNumber(v.ids[0], v.number, v.kind, v.ranged ? std::optional<Range>(Range{0, 65535}) : std::nullopt);
        }
    }
    ControlsFromFields();
}

bool ValuePage::SaveSettings() {
    if (values_.empty()) return true;
    if (!FieldsFromControls()) return false;
    for (Value& v : values_) {
        // No button chosen (the stored value was outside the group): the
        // value stays what it was.
        if (v.radio && v.choice >= 0) v.stored = static_cast<uint32_t>(v.choice);
        if (!v.radio) v.stored = v.number;
        WriteDword(v.name, v.stored);
    }
    ControlsFromFields();
    return true;
}

// --- The pages -----------------------------------------------------------------

#define VELQOR_PAGE_CONSTRUCTOR(Class) \
    Class::Class(int templateId, QWidget* parent) : ValuePage(templateId, parent) {}

VELQOR_PAGE_CONSTRUCTOR(Chttp10dlg)
void Chttp10dlg::BuildTemplate() {
    auto* layout = Column(this);
    AddNumber(layout, 1120, "同時接続数", 1121, "httpmaxconn", NumberKind::Signed, false);
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Chttpdlg00)
void Chttpdlg00::BuildTemplate() {
    auto* layout = Column(this);
    AddIpVersion(layout, "httpipverstion");
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Chttp01dlg)
void Chttp01dlg::BuildTemplate() {
    auto* layout = Column(this);
    AddNumber(layout, 0, "キャッシュ有効期間（分）", 1214, "httpcacheexpire", NumberKind::Unsigned32, false);
    AddButton(layout, 1216, "キャッシュをクリアする", ClearCache(CacheKind::Http));
    AddButton(layout, 1237, "キャッシュしないリンク", EditList("no-cache.db"));
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Cftpdlg00)
void Cftpdlg00::BuildTemplate() {
    auto* layout = Column(this);
    AddNumber(layout, 1195, "同時接続数", 1196, "ftpmaxconn", NumberKind::Signed, true);
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Cftpdlg10)
void Cftpdlg10::BuildTemplate() {
    auto* layout = Column(this);
    AddIpVersion(layout, "ftpipverstion");
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Cftpdlg11)
void Cftpdlg11::BuildTemplate() {
    auto* layout = Column(this);
    AddPortRange(layout, "ftpportstartrenge", NumberKind::Unsigned, "ftpportendrenge", NumberKind::Unsigned);
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Cftpdlg12)
void Cftpdlg12::BuildTemplate() {
    auto* layout = Column(this);
    AddNumber(layout, 0, "キャッシュ有効期間（分）", 1213, "ftpcacheexpire", NumberKind::Unsigned32, false);
    AddButton(layout, 1215, "キャッシュをクリアする", ClearCache(CacheKind::Ftp));
    AddButton(layout, 1237, "キャッシュしないリンク", EditList("no-cache.db"));
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Csocksdlg00)
void Csocksdlg00::BuildTemplate() {
    auto* layout = Column(this);
    AddNumber(layout, 1220, "同時接続数", 1219, "socksmaxconn", NumberKind::Unsigned, true);
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Csocksdlg10)
void Csocksdlg10::BuildTemplate() {
    auto* layout = Column(this);
    AddIpVersion(layout, "socksipverstion");
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Csocksdlg11)
void Csocksdlg11::BuildTemplate() {
    auto* layout = Column(this);
    AddRadioGroup(layout, "SOCKSバージョン", {{1225, "併用"}, {1226, "v4のみ"}, {1227, "v5のみ"}}, "sockstype");
    layout->addStretch();
}

// The SOCKS proxy's FTP data ports take the FTP page's 0 to 65535 check:
// a port beyond it cannot be listened on.
VELQOR_PAGE_CONSTRUCTOR(Csocksdlg12)
void Csocksdlg12::BuildTemplate() {
    auto* layout = Column(this);
    AddPortRange(layout, "socksportstartrenge", NumberKind::Unsigned, "socksportendrenge", NumberKind::Unsigned32);
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Csocksdlg13)
void Csocksdlg13::BuildTemplate() {
    auto* layout = Column(this);
    AddNumber(layout, 0, "キャッシュ有効期間（分）", 1229, "sockscacheexpire", NumberKind::Unsigned32, false);
    AddButton(layout, 1215, "キャッシュをクリアする", ClearCache(CacheKind::Socks));
    AddButton(layout, 1237, "キャッシュしないリンク", EditList("no-cache.db"));
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Chttpdlg02)
void Chttpdlg02::BuildTemplate() {
    auto* layout = Column(this);
    AddButton(layout, 1258, "禁止ワード発見", EditList("foundword.html"));
    AddButton(layout, 1257, "ウイルス発見", EditList("foundvirus.html"));
    layout->addStretch();
    // Only beside the anti-virus scan server.
    if (!ProgramPresent("orqavs")) FindControl(this, 1257)->hide();
}

VELQOR_PAGE_CONSTRUCTOR(Cftpdlg1)
void Cftpdlg1::BuildTemplate() {
    auto* layout = Column(this);
    AddButton(layout, 1207, "接続アドレス編集", EditList("ftp-con.ini"));
    layout->addStretch();
}

VELQOR_PAGE_CONSTRUCTOR(Csocksdlg1)
void Csocksdlg1::BuildTemplate() {
    auto* layout = Column(this);
    AddButton(layout, 1228, "接続アドレス編集", EditList("socks-con.ini", ListPage::Socks));
    AddButton(layout, 1231, "ホワイトリスト編集", EditList("white.db", ListPage::Socks));
    AddButton(layout, 1232, "ブラックリスト編集", EditList("black.db", ListPage::Socks));
    AddButton(layout, 1233, "ＵＲＩＢＬ編集", EditList("socks-dnsbl.db", ListPage::Socks));
    AddButton(layout, 1236, "接続先プロトコル設定", EditList("socks-ptl.ini", ListPage::Socks));
    layout->addStretch();
}

#undef VELQOR_PAGE_CONSTRUCTOR

}  // namespace panel
