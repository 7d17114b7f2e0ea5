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
    top->addWidget(RadioGroup(this, 1286, "圧縮対象", {{1284, "メール全体"}, {1285, "添付ファイル毎"}}));
    auto* zip = new QGridLayout;
    zip->addWidget(Static(this, 1273, "圧縮ファイル拡張子"), 0, 0);
    zip->addWidget(Edit(this, 1274), 0, 1);
    zip->addWidget(Static(this, 1275, "付加パスワード"), 1, 0);
    zip->addWidget(Edit(this, 1276), 1, 1);
    top->addLayout(zip, 1);
    layout->addLayout(top);

    auto* smtpGroup = Group(this, 1263, "SMTPサーバ設定（パスワードメール送信用）");
    auto* smtp = new QGridLayout(smtpGroup);
    smtp->setVerticalSpacing(4);
    smtp->addWidget(Static(smtpGroup, 1272, "SMTP"), 0, 0);
    smtp->addWidget(Edit(smtpGroup, 1260), 0, 1);
    smtp->addWidget(Static(smtpGroup, 1261, "ポート"), 0, 2);
    smtp->addWidget(Edit(smtpGroup, 1262), 0, 3);
    auto* authGroup = Group(smtpGroup, 1264, "SMTP認証");
    auto* auth = new QGridLayout(authGroup);
    auto* authBox = CheckBox(authGroup, 1265, "SMTP認証を行う。（PLAINのみ）");
    auth->addWidget(authBox, 0, 0, 1, 4);
    auth->addWidget(Static(authGroup, 1266, "ID"), 1, 0);
    auth->addWidget(Edit(authGroup, 1268), 1, 1);
    auth->addWidget(Static(authGroup, 1267, "パスワード"), 1, 2);
    auto* password = PasswordEdit(authGroup, 1269);
    auth->addWidget(password, 1, 3);
    smtp->addWidget(authGroup, 1, 0, 1, 4);
    smtp->addWidget(RadioGroup(smtpGroup, 1288, "送信元アドレス", {{1289, "送信元"}, {1290, "アドレスを指定"}}, 1291), 2,
                    0, 1, 4);
    auto* last = new QHBoxLayout;
    last->addWidget(RadioGroup(smtpGroup, 1293, "送信先アドレス", {{1294, "送信先のまま"}, {1295, "送信元へ返信"}}), 1);
    last->addWidget(RadioGroup(smtpGroup, 1278, "IPバージョン", {{1281, "IPv4"}, {1282, "IPv6"}}));
    smtp->addLayout(last, 3, 0, 1, 4);
    layout->addWidget(smtpGroup);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button(this, 1259, "メールメッセージ"));
    buttons->addWidget(Button(this, 1270, "パスワードメールメッセージ"));
    layout->addLayout(buttons);
    layout->addStretch();
    connect(authBox, &QCheckBox::clicked, this, [this] { ApplyAuthRule(); });
}

void Csorvant::OnInitDialog() {
    ColorButton* message = nullptr;
    ColorButton* passwordMessage = nullptr;
    AttachButton(message, 1259, this, [] { EditFile("ziped-message.txt"); });
    AttachButton(passwordMessage, 1270, this, [] { EditFile("ziped-pw-message.txt"); });

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
    BindText(1260, smtp_, TextLimit{0, kServiceTextBytes, false});
    BindText(1268, authId_, TextLimit{63, kServiceTextBytes, false});
    BindNumber(1262, smtpPort_, NumberKind::Unsigned32);
    BindText(1269, authPw_, TextLimit{63, kServiceTextBytes, false});
    BindCheck(1265, esmtp_);
    BindText(1274, extension_, TextLimit{3, kServiceTextBytes, false});
    BindText(1276, uniqPw_, TextLimit{15, kServiceTextBytes, false});
    BindRadio({1281, 1282}, ipVersionTicked_);
    BindRadio({1284, 1285}, unitZipTicked_);
    BindText(1291, envFromAddr_, TextLimit{0, kServiceTextBytes, false});
    BindRadio({1289, 1290}, envFromTypeTicked_);
    BindRadio({1294, 1295}, envToTicked_);
    ControlsFromFields();
    ApplyAuthRule();
}

void Csorvant::ApplyAuthRule() {
    esmtp_ = Control<QCheckBox>(this, 1265)->isChecked() ? 1 : 0;
    EnableIds(this, {1268, 1269}, esmtp_ != 0);
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
    auto* to = CheckBox(this, 1298, "To:ヘッダを制限する");
    auto* cc = CheckBox(this, 1300, "Cc:ヘッダを制限する");
    layout->addWidget(to, 0, 0);
    layout->addWidget(Static(this, 1299, "表示上限"), 0, 1);
    layout->addWidget(Edit(this, 1302), 0, 2);
    layout->addWidget(cc, 1, 0);
    layout->addWidget(Static(this, 1301, "表示上限"), 1, 1);
    layout->addWidget(Edit(this, 1303), 1, 2);
    layout->setRowStretch(2, 1);
    connect(to, &QCheckBox::clicked, this, [this] { ApplyEnablingRules(); });
    connect(cc, &QCheckBox::clicked, this, [this] { ApplyEnablingRules(); });
}

void Csorvant00::OnInitDialog() {
    toHead_ = ReadSetting(value::kToHead.name, value::kToHead.byDefault);
    toHeadCount_ = static_cast<uint32_t>(ReadSetting(value::kToHeadCount.name, value::kToHeadCount.byDefault));
    ccHead_ = ReadSetting(value::kCcHead.name, value::kCcHead.byDefault);
    ccHeadCount_ = static_cast<uint32_t>(ReadSetting(value::kCcHeadCount.name, value::kCcHeadCount.byDefault));
    BindCheck(1298, toHead_);
    BindCheck(1300, ccHead_);
    BindNumber(1303, ccHeadCount_, NumberKind::Unsigned32);
    BindNumber(1302, toHeadCount_, NumberKind::Unsigned32);
    ControlsFromFields();
    ApplyEnablingRules();
}

void Csorvant00::ApplyEnablingRules() {
    EnableIds(this, {1299, 1302}, Control<QCheckBox>(this, 1298)->isChecked());
    EnableIds(this, {1301, 1303}, Control<QCheckBox>(this, 1300)->isChecked());
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
    layout->addWidget(CheckBox(this, 1277, "ログを残す。"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button(this, 1258, "対策IPポート"));
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addStretch();
}

void Csorvant01::OnInitDialog() {
    ColorButton* list = nullptr;
    AttachButton(list, 1258, this, [] { EditFile("smtp-zip.db"); });
    log_ = ReadSetting(value::kLog.name, value::kLog.byDefault);
    BindCheck(1277, log_);
    ControlsFromFields();
}

bool Csorvant01::SaveSettings() {
    if (!FieldsFromControls()) return false;
    WriteDword(value::kLog.name, static_cast<uint32_t>(log_));
    ControlsFromFields();
    return true;
}

}  // namespace panel
