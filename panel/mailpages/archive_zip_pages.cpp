#include "panel/mailpages/archive_zip_pages.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

#include "common/archiver_values.h"
#include "panel/framework/list_file_edit.h"
#include "panel/framework/page_parts.h"
#include "panel/framework/registry_ops.h"
#include "panel/mailpages/mail_filter_texts.h"

namespace panel {
namespace {

namespace value = common::archiver_value;

// The service reads the archiving server's texts into 256 bytes.
constexpr int kServiceTextBytes = 255;

QString ReadText(const char* name, const char* fallback) {
    std::string text;
    RegReadString(RegRoot::LocalMachine, kProductSettingsKey, name, fallback, text, 512);
    return QString::fromStdString(text);
}

// The buttons in a row; `extra` (an edit of the group) takes the rest of it.
QGroupBox* RadioGroup(QWidget* page, int groupId, const char* title,
                      std::initializer_list<std::pair<int, const char*>> buttons, int extraEditId = 0) {
    auto* group = Group(page, groupId, title);
    auto* layout = new QHBoxLayout(group);
    for (const auto& [id, text] : buttons) layout->addWidget(Radio(group, id, text));
    if (extraEditId)
        layout->addWidget(Edit(group, extraEditId), 1);
    else
        layout->addStretch();
    return group;
}

void EditFile(const char* name) { EditListFile(name, MailFilterTemplate(name)); }

// The button's index, or the stored value when no button is ticked.
int Chosen(int ticked, int stored) { return ticked >= 0 ? ticked : stored; }

}  // namespace

// --- What is zipped, and the password mail -----------------------------------

Csorvant::Csorvant(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void Csorvant::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(4);
    auto* top = new QHBoxLayout;
    top->addWidget(RadioGroup(this, kZipUnitGroup, "圧縮対象",
                              {{kZipWholeMailRadio, "メール全体"}, {kZipEachAttachmentRadio, "添付ファイル毎"}}));
    auto* zip = new QGridLayout;
    zip->addWidget(Static(this, kZipExtensionLabel, "圧縮ファイル拡張子"), 0, 0);
    zip->addWidget(Edit(this, kZipExtensionEdit), 0, 1);
    zip->addWidget(Static(this, kZipPasswordLabel, "付加パスワード"), 1, 0);
    zip->addWidget(Edit(this, kZipPasswordEdit), 1, 1);
    top->addLayout(zip, 1);
    layout->addLayout(top);

    auto* smtpGroup = Group(this, kPasswordMailSmtpGroup, "SMTPサーバ設定（パスワードメール送信用）");
    auto* smtp = new QGridLayout(smtpGroup);
    smtp->setVerticalSpacing(4);
    smtp->addWidget(Static(smtpGroup, kPasswordMailSmtpLabel, "SMTP"), 0, 0);
    smtp->addWidget(Edit(smtpGroup, kPasswordMailSmtpEdit), 0, 1);
    smtp->addWidget(Static(smtpGroup, kPasswordMailPortLabel, "ポート"), 0, 2);
    smtp->addWidget(Edit(smtpGroup, kPasswordMailPortEdit), 0, 3);
    auto* authGroup = Group(smtpGroup, kPasswordMailAuthGroup, "SMTP認証");
    auto* auth = new QGridLayout(authGroup);
    auto* authBox = CheckBox(authGroup, kPasswordMailAuthCheck, "SMTP認証を行う。（PLAINのみ）");
    auth->addWidget(authBox, 0, 0, 1, 4);
    auth->addWidget(Static(authGroup, kPasswordMailAuthIdLabel, "ID"), 1, 0);
    auth->addWidget(Edit(authGroup, kPasswordMailAuthIdEdit), 1, 1);
    auth->addWidget(Static(authGroup, kPasswordMailAuthPasswordLabel, "パスワード"), 1, 2);
    auto* password = PasswordEdit(authGroup, kPasswordMailAuthPasswordEdit);
    auth->addWidget(password, 1, 3);
    smtp->addWidget(authGroup, 1, 0, 1, 4);
    smtp->addWidget(RadioGroup(smtpGroup, kPasswordMailFromGroup, "送信元アドレス",
                               {{kPasswordMailFromSenderRadio, "送信元"}, {kPasswordMailFromGivenRadio, "アドレスを指定"}},
                               kPasswordMailFromEdit),
                    2, 0, 1, 4);
    auto* last = new QHBoxLayout;
    last->addWidget(RadioGroup(smtpGroup, kPasswordMailToGroup, "送信先アドレス",
                               {{kPasswordMailToRecipientRadio, "送信先のまま"}, {kPasswordMailToSenderRadio, "送信元へ返信"}}),
                    1);
    last->addWidget(RadioGroup(smtpGroup, kPasswordMailIpGroup, "IPバージョン",
                               {{kPasswordMailIpv4Radio, "IPv4"}, {kPasswordMailIpv6Radio, "IPv6"}}));
    smtp->addLayout(last, 3, 0, 1, 4);
    layout->addWidget(smtpGroup);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button(this, kZippedMessageButton, "メールメッセージ"));
    buttons->addWidget(Button(this, kPasswordMessageButton, "パスワードメールメッセージ"));
    layout->addLayout(buttons);
    layout->addStretch();
    connect(authBox, &QCheckBox::clicked, this, [this] { ApplyAuthRule(); });
}

void Csorvant::OnInitDialog() {
    ColorButton* message = nullptr;
    ColorButton* passwordMessage = nullptr;
    AttachButton(message, kZippedMessageButton, this, [] { EditFile("ziped-message.txt"); });
    AttachButton(passwordMessage, kPasswordMessageButton, this, [] { EditFile("ziped-pw-message.txt"); });

    envTo_ = ReadSetting(value::kEnvelopeTo.name, value::kEnvelopeTo.byDefault);
    envFromType_ = ReadSetting(value::kEnvelopeFromType.name, value::kEnvelopeFromType.byDefault);
    envFromAddr_ = ReadText(value::kEnvelopeFromAddress.name, value::kEnvelopeFromAddress.byDefault);
    unitZip_ = ReadSetting(value::kUnitZip.name, value::kUnitZip.byDefault);
    ipVersion_ = ReadSetting(value::kIpVersion.name, value::kIpVersion.byDefault);
    uniqPw_ = ReadText(value::kUniquePassword.name, value::kUniquePassword.byDefault);
    extension_ = ReadText(value::kExtension.name, value::kExtension.byDefault);
    smtp_ = ReadText(value::kSmtpServer.name, value::kSmtpServer.byDefault);
    smtpPort_ = static_cast<uint32_t>(ReadSetting(value::kSmtpPort.name, value::kSmtpPort.byDefault));
    esmtp_ = ReadSetting(value::kEsmtp.name, value::kEsmtp.byDefault);
    authId_ = ReadText(value::kAuthId.name, value::kAuthId.byDefault);
    authPw_ = ReadText(value::kAuthPassword.name, value::kAuthPassword.byDefault);
    envToTicked_ = envTo_;
    envFromTypeTicked_ = envFromType_;
    unitZipTicked_ = unitZip_;
    ipVersionTicked_ = ipVersion_;

    // In the order the values are taken from the controls.
    BindText(kPasswordMailSmtpEdit, smtp_, TextLimit{0, kServiceTextBytes, false});
    BindText(kPasswordMailAuthIdEdit, authId_, TextLimit{63, kServiceTextBytes, false});
    BindNumber(kPasswordMailPortEdit, smtpPort_, NumberKind::Unsigned32);
    BindText(kPasswordMailAuthPasswordEdit, authPw_, TextLimit{63, kServiceTextBytes, false});
    BindCheck(kPasswordMailAuthCheck, esmtp_);
    BindText(kZipExtensionEdit, extension_, TextLimit{3, kServiceTextBytes, false});
    BindText(kZipPasswordEdit, uniqPw_, TextLimit{15, kServiceTextBytes, false});
    BindRadio({kPasswordMailIpv4Radio, kPasswordMailIpv6Radio}, ipVersionTicked_);
    BindRadio({kZipWholeMailRadio, kZipEachAttachmentRadio}, unitZipTicked_);
    BindText(kPasswordMailFromEdit, envFromAddr_, TextLimit{0, kServiceTextBytes, false});
    BindRadio({kPasswordMailFromSenderRadio, kPasswordMailFromGivenRadio}, envFromTypeTicked_);
    BindRadio({kPasswordMailToRecipientRadio, kPasswordMailToSenderRadio}, envToTicked_);
    ControlsFromFields();
    ApplyAuthRule();
}

void Csorvant::ApplyAuthRule() {
    esmtp_ = Control<QCheckBox>(this, kPasswordMailAuthCheck)->isChecked() ? 1 : 0;
    EnableIds(this, {kPasswordMailAuthIdEdit, kPasswordMailAuthPasswordEdit}, esmtp_ != 0);
}

bool Csorvant::SaveSettings() {
    if (!FieldsFromControls()) return false;
    envTo_ = Chosen(envToTicked_, envTo_);
    envFromType_ = Chosen(envFromTypeTicked_, envFromType_);
    unitZip_ = Chosen(unitZipTicked_, unitZip_);
    ipVersion_ = Chosen(ipVersionTicked_, ipVersion_);
    WriteDword(value::kEnvelopeTo.name, static_cast<uint32_t>(envTo_));
    WriteDword(value::kEnvelopeFromType.name, static_cast<uint32_t>(envFromType_));
    WriteString(value::kEnvelopeFromAddress.name, envFromAddr_);
    WriteDword(value::kUnitZip.name, static_cast<uint32_t>(unitZip_));
    WriteDword(value::kIpVersion.name, static_cast<uint32_t>(ipVersion_));
    WriteString(value::kUniquePassword.name, uniqPw_);
    WriteString(value::kExtension.name, extension_);
    WriteString(value::kSmtpServer.name, smtp_);
    WriteDword(value::kSmtpPort.name, smtpPort_);
    WriteDword(value::kEsmtp.name, static_cast<uint32_t>(esmtp_));
    WriteString(value::kAuthId.name, authId_);
    WriteString(value::kAuthPassword.name, authPw_);
    ControlsFromFields();
    return true;
}

// --- To: and Cc: header limits ----------------------------------------------

Csorvant00::Csorvant00(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void Csorvant00::BuildTemplate() {
    auto* layout = new QGridLayout(this);
    auto* to = CheckBox(this, kToHeadCheck, "To:ヘッダを制限する");
    auto* cc = CheckBox(this, kCcHeadCheck, "Cc:ヘッダを制限する");
    layout->addWidget(to, 0, 0);
    layout->addWidget(Static(this, kToHeadLabel, "表示上限"), 0, 1);
    layout->addWidget(Edit(this, kToHeadCountEdit), 0, 2);
    layout->addWidget(cc, 1, 0);
    layout->addWidget(Static(this, kCcHeadLabel, "表示上限"), 1, 1);
    layout->addWidget(Edit(this, kCcHeadCountEdit), 1, 2);
    layout->setRowStretch(2, 1);
    connect(to, &QCheckBox::clicked, this, [this] { ApplyEnablingRules(); });
    connect(cc, &QCheckBox::clicked, this, [this] { ApplyEnablingRules(); });
}

void Csorvant00::OnInitDialog() {
    toHead_ = ReadSetting(value::kToHead.name, value::kToHead.byDefault);
    toHeadCount_ = static_cast<uint32_t>(ReadSetting(value::kToHeadCount.name, value::kToHeadCount.byDefault));
    ccHead_ = ReadSetting(value::kCcHead.name, value::kCcHead.byDefault);
    ccHeadCount_ = static_cast<uint32_t>(ReadSetting(value::kCcHeadCount.name, value::kCcHeadCount.byDefault));
    BindCheck(kToHeadCheck, toHead_);
    BindCheck(kCcHeadCheck, ccHead_);
    BindNumber(kCcHeadCountEdit, ccHeadCount_, NumberKind::Unsigned32);
    BindNumber(kToHeadCountEdit, toHeadCount_, NumberKind::Unsigned32);
    ControlsFromFields();
    ApplyEnablingRules();
}

void Csorvant00::ApplyEnablingRules() {
    EnableIds(this, {kToHeadLabel, kToHeadCountEdit}, Control<QCheckBox>(this, kToHeadCheck)->isChecked());
    EnableIds(this, {kCcHeadLabel, kCcHeadCountEdit}, Control<QCheckBox>(this, kCcHeadCheck)->isChecked());
}

bool Csorvant00::SaveSettings() {
    if (!FieldsFromControls()) return false;
    WriteDword(value::kToHead.name, static_cast<uint32_t>(toHead_));
    WriteDword(value::kToHeadCount.name, toHeadCount_);
    WriteDword(value::kCcHead.name, static_cast<uint32_t>(ccHead_));
    WriteDword(value::kCcHeadCount.name, ccHeadCount_);
    ControlsFromFields();
    return true;
}

// --- The archiving log and the listen addresses -------------------------------

Csorvant01::Csorvant01(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void Csorvant01::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CheckBox(this, kZipLogCheck, "ログを残す。"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button(this, kZipListenListButton, "対策IPポート"));
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addStretch();
}

void Csorvant01::OnInitDialog() {
    ColorButton* list = nullptr;
    AttachButton(list, kZipListenListButton, this, [] { EditFile("smtp-zip.db"); });
    log_ = ReadSetting(value::kLog.name, value::kLog.byDefault);
    BindCheck(kZipLogCheck, log_);
    ControlsFromFields();
}

bool Csorvant01::SaveSettings() {
    if (!FieldsFromControls()) return false;
    WriteDword(value::kLog.name, static_cast<uint32_t>(log_));
    ControlsFromFields();
    return true;
}

}  // namespace panel
