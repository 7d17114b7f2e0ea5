#include <QVBoxLayout>
#include <functional>

#include "common/proxy_values.h"
#include "panel/framework/list_file_edit.h"
#include "panel/mailpages/mail_list_texts.h"
#include "panel/mailpages/pop3_option_pages.h"
#include "panel/mailpages/smtp_option_pages.h"

namespace panel {
namespace {

namespace smtp = common::smtp_value;
namespace pop3 = common::pop3_value;

std::function<void()> EditList(const char* fileName) {
    return [fileName] { EditListFile(fileName, MailListTemplate(fileName)); };
}

}  // namespace

CSmtpSetDlg::CSmtpSetDlg(int templateId, QWidget* parent)
    : SwitchAndLogPage(templateId, parent,
                       {kSmtpOnCheck, "ＳＭＴＰプロキシを有効にする。", smtp::kOn, kSmtpLogCheck, smtp::kLog}) {}

Csmtpdlg00::Csmtpdlg00(int templateId, QWidget* parent) : ValuePage(templateId, parent) {}
void Csmtpdlg00::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    AddNumber(layout, kSmtpConnectionsLabel, "同時接続数", kSmtpConnectionsEdit, smtp::kMaxConnections, NumberKind::Signed,
              true);
    layout->addStretch();
}

Csmtpdlg1::Csmtpdlg1(int templateId, QWidget* parent) : ValuePage(templateId, parent) { SetTitleString(147); }
void Csmtpdlg1::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    AddCheck(layout, kSmtpSpamRejectCheck, "スパム判定時拒否。", smtp::kSpamReject);
    AddButton(layout, kSmtpConnectListButton, "接続アドレス編集", EditList("smtp-con.ini"));
    layout->addStretch();
}

Csmtpdlg10::Csmtpdlg10(int templateId, QWidget* parent) : ValuePage(templateId, parent) {}
void Csmtpdlg10::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    AddButton(layout, kSmtpBlocklistSourcesButton, "問合せ先編集", EditList("smtp-conbl.db"));
    AddButton(layout, kSmtpBlocklistWhiteListButton, "ホワイトリスト編集", EditList("smtp-conwl.db"));
    layout->addStretch();
}

Csmtpdlg11::Csmtpdlg11(int templateId, QWidget* parent) : ValuePage(templateId, parent) {}
void Csmtpdlg11::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    AddIpVersion(layout, smtp::kIpVersion);
    layout->addStretch();
}

CPop3SetDlg::CPop3SetDlg(int templateId, QWidget* parent)
    : SwitchAndLogPage(templateId, parent,
                       {kPop3OnCheck, "ＰＯＰ３プロキシを有効にする。", pop3::kOn, kPop3LogCheck, pop3::kLog}) {}

Cpop3dlg00::Cpop3dlg00(int templateId, QWidget* parent) : ValuePage(templateId, parent) {}
void Cpop3dlg00::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    AddNumber(layout, kPop3ConnectionsLabel, "同時接続数", kPop3ConnectionsEdit, pop3::kMaxConnections, NumberKind::Unsigned,
              true);
    layout->addStretch();
}

Cpop3dlg1::Cpop3dlg1(int templateId, QWidget* parent) : ValuePage(templateId, parent) { SetTitleString(145); }
void Cpop3dlg1::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    AddButton(layout, kPop3ConnectListButton, "接続アドレス編集", EditList("pop3-con.ini"));
    layout->addStretch();
}

Cpop3dlg10::Cpop3dlg10(int templateId, QWidget* parent) : ValuePage(templateId, parent) {}
void Cpop3dlg10::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    AddIpVersion(layout, pop3::kIpVersion);
    layout->addStretch();
}

Cpop3dlg11::Cpop3dlg11(int templateId, QWidget* parent) : ValuePage(templateId, parent) {}
void Cpop3dlg11::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    AddRadioGroup(layout, "ウイルス発見時のメール受信",
                  {{kPop3VirusHeaderOnlyRadio, "ヘッダのみ添付"}, {kPop3VirusHeaderAndBodyRadio, "ヘッダ+本文添付"}},
                  pop3::kVirusBody);
    layout->addStretch();
}

}  // namespace panel
