#include "panel/mailpages/notify_mail_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

#include "common/publish_file.h"
#include "common/sendmail_ini.h"
#include "panel/framework/cp932_text.h"
#include "panel/framework/page_parts.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/registry_ops.h"

namespace panel {
namespace {

// The controls the notify box enables and disables.
const std::initializer_list<int> kNotifyControls = {
    kNotifyAuthCheck,    kNotifySslCheck,      kNotifyFromEdit,     kNotifyFromNameEdit,   kNotifyUserEdit,
    kNotifyPasswordEdit, kNotifyPortEdit,      kNotifyPortLabel,    kNotifyToEdit,         kNotifyServerEdit,
    kNotifyServerLabel,  kNotifyFromLabel,     kNotifyFromNameLabel, kNotifyRecipientGroup, kNotifyHiddenLabel,
    kNotifyToLabel,      kNotifyToGivenRadio,  kNotifyToSenderRadio, kNotifyToBothRadio,    kNotifyUserLabel,
    kNotifyPasswordLabel};

// sendmail.ini holds the password in plain text: its owner only.
constexpr unsigned kSendmailIniMode = 0600;

// What the mail sender takes whole from a line of its settings file.
constexpr int kFromNameBytes = 79;
constexpr int kAccountBytes = 63;
constexpr int kServerBytes = 255;
constexpr int kFromLineBytes = 249;
// Strings the page reads back through 512-byte buffers.
constexpr int kStoredChars = 255;

QString ReadText(const char* name) {
    std::string text;
    RegReadString(RegRoot::LocalMachine, kProductSettingsKey, name, "", text, 512);
    return QString::fromStdString(text);
}

}  // namespace

std::string FormatSendmailIni(const NotifySettings& s) {
    namespace ini = common::sendmail_ini;
    std::string text;
    auto line = [&text](const char* key, const std::string& value) {
        text += std::string(key) + "=" + value + "\r\n";
    };
    line(ini::kFamily, "0");
    line(ini::kFrom, ToCp932(s.from));
    line(ini::kName, ToCp932(s.fromName));
    line(ini::kCharset, ini::kCharsetName);
    line(ini::kSmtpServer, ToCp932(s.server));
    line(ini::kPort, std::to_string(s.port));
    line(ini::kEsmtp, s.auth ? "1" : "0");
    line(ini::kAuthId, ToCp932(s.id));
    line(ini::kAuthPass, ToCp932(s.password));
    line(ini::kSsl, s.ssl ? "1" : "0");
    line(ini::kDebug, "0");
    line(ini::kTo, ToCp932(s.to));
    return text;
}

CSendDlg::CSendDlg(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void CSendDlg::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* notify = CheckBox(this, kNotifyCheck, "メールで通知する。");
    layout->addWidget(notify);
    auto* grid = new QGridLayout;
    grid->addWidget(Static(this, kNotifyServerLabel, "SMTPｻｰﾊﾞｰ"), 0, 0);
    grid->addWidget(Edit(this, kNotifyServerEdit), 0, 1);
    grid->addWidget(Static(this, kNotifyPortLabel, "ﾎﾟｰﾄ"), 0, 2);
    grid->addWidget(Edit(this, kNotifyPortEdit), 0, 3);
    grid->addWidget(Static(this, kNotifyFromLabel, "送信元ｱﾄﾞﾚｽ"), 1, 0);
    grid->addWidget(Edit(this, kNotifyFromEdit), 1, 1);
    grid->addWidget(CheckBox(this, kNotifySslCheck, "SSLで通信"), 1, 2, 1, 2);
    grid->addWidget(Static(this, kNotifyFromNameLabel, "送信者名"), 2, 0);
    grid->addWidget(Edit(this, kNotifyFromNameEdit), 2, 1);
    auto* auth = CheckBox(this, kNotifyAuthCheck, "SMTP認証で送信(PLAINのみ)");
    grid->addWidget(auth, 3, 0, 1, 4);
    grid->addWidget(Static(this, kNotifyUserLabel, "ﾕｰｻﾞｰ名"), 4, 0);
    grid->addWidget(Edit(this, kNotifyUserEdit), 4, 1);
    grid->addWidget(Static(this, kNotifyPasswordLabel, "ﾊﾟｽﾜｰﾄﾞ"), 5, 0);
    auto* password = PasswordEdit(this, kNotifyPasswordEdit);
    grid->addWidget(password, 5, 1);
    layout->addLayout(grid);

    auto* group = Group(this, kNotifyRecipientGroup, "通知先指定");
    auto* inner = new QGridLayout(group);
    int column = 0;
    for (auto [id, text] : {std::pair{kNotifyToGivenRadio, "送信先を指定"}, std::pair{kNotifyToSenderRadio, "送信元へ送信"},
                            std::pair{kNotifyToBothRadio, "両方に送信"}}) {
        auto* radio = Radio(group, id, text);
        inner->addWidget(radio, 0, column++);
        connect(radio, &QRadioButton::clicked, this, [this] { OnRecipientModeChanged(); });
    }
    inner->addWidget(Static(group, kNotifyToLabel, "送信先ｱﾄﾞﾚｽ"), 1, 0);
    inner->addWidget(Edit(group, kNotifyToEdit), 1, 1, 1, 2);
    layout->addWidget(group);
    auto* hidden = Static(this, kNotifyHiddenLabel, "通知先指定");
    hidden->hide();
    layout->addStretch();
    connect(notify, &QCheckBox::clicked, this, [this] { OnNotifyBoxChanged(); });
    connect(auth, &QCheckBox::clicked, this, [this] { OnAuthBoxChanged(); });
}

void CSendDlg::OnInitDialog() {
    values_.send = static_cast<int>(RegReadDword(kProductSettingsKey, "SmtpSend", 0));
    values_.auth = static_cast<int>(RegReadDword(kProductSettingsKey, "SmtpAuth", 0));
    values_.ssl = static_cast<int>(RegReadDword(kProductSettingsKey, "SmtpSSL", 0));
    values_.port = static_cast<int>(RegReadDword(kProductSettingsKey, "SmtpPort", 25));
    values_.sendAddr = static_cast<int>(RegReadDword(kProductSettingsKey, "SmtpSendaddr", 0));
    values_.server = ReadText("SmtpSMTPServer");
    values_.from = ReadText("SmtpFrom");
    values_.fromName = ReadText("SmtpFromName");
    values_.id = ReadText("SmtpID");
    values_.password = ReadText("SmtpPassword");
    values_.to = ReadText("SmtpTo");
    modeTicked_ = values_.sendAddr;

    // In the order the values are taken from the controls; each text is
    // checked against what the mail sender reads of its line.
    BindCheck(kNotifyCheck, values_.send);
    BindCheck(kNotifyAuthCheck, values_.auth);
    BindCheck(kNotifySslCheck, values_.ssl);
    BindText(kNotifyFromEdit, values_.from, TextLimit{kStoredChars, kFromLineBytes - 5, true});
    BindText(kNotifyFromNameEdit, values_.fromName, TextLimit{kStoredChars, kFromNameBytes, true});
    BindText(kNotifyUserEdit, values_.id, TextLimit{kStoredChars, kAccountBytes, true});
    BindText(kNotifyPasswordEdit, values_.password, TextLimit{kStoredChars, kAccountBytes, true});
    BindNumber(kNotifyPortEdit, values_.port, NumberKind::Signed, Range{1, 65535});
    BindText(kNotifyToEdit, values_.to, TextLimit{kStoredChars, 0, false});
    BindRadio({kNotifyToGivenRadio, kNotifyToSenderRadio, kNotifyToBothRadio}, modeTicked_);
    BindText(kNotifyServerEdit, values_.server, TextLimit{kStoredChars, kServerBytes, true});
    ControlsFromFields();
    OnRecipientModeChanged();
    OnAuthBoxChanged();
    OnNotifyBoxChanged();
}

void CSendDlg::OnNotifyBoxChanged() {
    EnableIds(this, kNotifyControls, Control<QCheckBox>(this, kNotifyCheck)->isChecked());
}

void CSendDlg::OnAuthBoxChanged() {
    EnableIds(this, {kNotifyUserLabel, kNotifyPasswordLabel, kNotifyUserEdit, kNotifyPasswordEdit},
              Control<QCheckBox>(this, kNotifyAuthCheck)->isChecked());
}

void CSendDlg::OnRecipientModeChanged() {
    EnableIds(this, {kNotifyToLabel, kNotifyToEdit}, !Control<QRadioButton>(this, kNotifyToSenderRadio)->isChecked());
}

bool CSendDlg::SaveSettings() {
    if (!FieldsFromControls()) return false;
    // A stored mode outside the three buttons stays until one is chosen.
    if (modeTicked_ >= 0) values_.sendAddr = modeTicked_;
    WriteDword("SmtpSend", static_cast<uint32_t>(values_.send));
    WriteDword("SmtpAuth", static_cast<uint32_t>(values_.auth));
    WriteDword("SmtpSSL", static_cast<uint32_t>(values_.ssl));
    WriteDword("SmtpPort", static_cast<uint32_t>(values_.port));
    WriteDword("SmtpSendaddr", static_cast<uint32_t>(values_.sendAddr));
    WriteString("SmtpSMTPServer", values_.server);
    WriteString("SmtpFrom", values_.from);
    WriteString("SmtpFromName", values_.fromName);
    WriteString("SmtpID", values_.id);
    WriteString("SmtpPassword", values_.password);
    WriteString("SmtpTo", values_.to);
    ControlsFromFields();
    common::PublishFile(State().programFolder + "/" + common::sendmail_ini::kFileName, FormatSendmailIni(values_), {},
                        kSendmailIniMode);
    return true;
}

}  // namespace panel
