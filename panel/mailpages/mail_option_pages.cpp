#include "panel/mailpages/pop3_option_pages.h"
#include "panel/mailpages/smtp_option_pages.h"

namespace panel {
namespace {

RadioValuePage::Shape IpVersion(const char* valueName) {
    return {"ＩＰバージョン", valueName, {{1139, "IPv4のみ"}, {1140, "IPv6のみ"}, {1141, "併用"}}};
}

}  // namespace

CSmtpSetDlg::CSmtpSetDlg(int templateId, QWidget* parent)
    : SwitchAndLogPage(templateId, parent, {1003, "ＳＭＴＰプロキシを有効にする。", "smtp", 1026, "smtplog"}) {}

Csmtpdlg00::Csmtpdlg00(int templateId, QWidget* parent)
    : ConnectionCountPage(templateId, parent, {1125, 1124, "smtpmaxconn", NumberKind::Signed}) {}

Csmtpdlg1::Csmtpdlg1(int templateId, QWidget* parent)
    : ListFileButtonsPage(templateId, parent,
                          {147, 1306, "スパム判定時拒否。", "smtpspamreject", {{1136, "接続アドレス編集", "smtp-con.ini"}}}) {}

Csmtpdlg10::Csmtpdlg10(int templateId, QWidget* parent)
    : ListFileButtonsPage(templateId, parent,
                          {0, 0, nullptr, nullptr,
                           {{1137, "問合せ先編集", "smtp-conbl.db"}, {1138, "ホワイトリスト編集", "smtp-conwl.db"}}}) {}

Csmtpdlg11::Csmtpdlg11(int templateId, QWidget* parent)
    : RadioValuePage(templateId, parent, IpVersion("smtpipverstion")) {}

CPop3SetDlg::CPop3SetDlg(int templateId, QWidget* parent)
    : SwitchAndLogPage(templateId, parent, {1004, "ＰＯＰ３プロキシを有効にする。", "pop3", 1028, "pop3log"}) {}

Cpop3dlg00::Cpop3dlg00(int templateId, QWidget* parent)
    : ConnectionCountPage(templateId, parent, {1123, 1122, "pop3maxconn", NumberKind::Unsigned}) {}

Cpop3dlg1::Cpop3dlg1(int templateId, QWidget* parent)
    : ListFileButtonsPage(templateId, parent, {145, 0, nullptr, nullptr, {{1142, "接続アドレス編集", "pop3-con.ini"}}}) {}

Cpop3dlg10::Cpop3dlg10(int templateId, QWidget* parent)
    : RadioValuePage(templateId, parent, IpVersion("pop3ipverstion")) {}

Cpop3dlg11::Cpop3dlg11(int templateId, QWidget* parent)
    : RadioValuePage(templateId, parent,
                     {"ウイルス発見時のメール受信", "pop3virusbody", {{1218, "ヘッダのみ添付"}, {1219, "ヘッダ+本文添付"}}}) {}

}  // namespace panel
