#include "panel/mailpages/spam_check_pages.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "panel/framework/list_file_edit.h"
#include "panel/framework/page_parts.h"
#include "panel/framework/registry_ops.h"
#include "panel/mailpages/mail_filter_texts.h"

namespace panel {
namespace {

// Characters of the spam tag, and its bytes in the service's code page.
constexpr int kSpamTagLimit = 255;

}  // namespace

CSpamCheckSetDlg::CSpamCheckSetDlg(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void CSpamCheckSetDlg::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* check = CheckBox(this, 1108, "スパムチェックを行う");
    layout->addWidget(check);
    layout->addWidget(CheckBox(this, 1113, "ログを残す。"));
    auto* tag = new QHBoxLayout;
    tag->addWidget(Static(this, 1111, "挿入タグ"));
    tag->addWidget(Edit(this, 1106), 1);
    layout->addLayout(tag);
    layout->addStretch();
    connect(check, &QCheckBox::clicked, this, [this] { ApplyEnablingRule(); });
}

void CSpamCheckSetDlg::OnInitDialog() {
    log_ = ReadSetting("spamenglog", 0);
    check_ = ReadSetting("spamcheck", 1);
    // One limit for the tag on both sides: what the page stores is what the
    // page reads back (a longer stored tag reads as the default, and the
    // next save would overwrite it) and what the service passes on.
    std::string tag;
    RegReadString(RegRoot::LocalMachine, kProductSettingsKey, "spamtag", "[SPAM]", tag, (kSpamTagLimit + 1) * 2);
    tag_ = QString::fromStdString(tag);
    BindCheck(1108, check_);
    BindCheck(1113, log_);
    BindText(1106, tag_, TextLimit{kSpamTagLimit, kSpamTagLimit, false});
    ControlsFromFields();
    ApplyEnablingRule();
}

void CSpamCheckSetDlg::ApplyEnablingRule() {
    EnableIds(this, {1113, 1111, 1106}, Control<QCheckBox>(this, 1108)->isChecked());
}

bool CSpamCheckSetDlg::SaveSettings() {
    if (!FieldsFromControls()) return false;
    WriteDword("spamenglog", static_cast<uint32_t>(log_));
    WriteDword("spamcheck", static_cast<uint32_t>(check_));
    WriteString("spamtag", tag_);
    ControlsFromFields();
    return true;
}

CSpamCheckSetDlg0::CSpamCheckSetDlg0(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void CSpamCheckSetDlg0::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CheckBox(this, 1123, "日付ヘッダの異常"));
    layout->addWidget(CheckBox(this, 1124, "送信ドメイン認証(SPF1)不一致"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button(this, 1122, "キーワード"));
    buttons->addWidget(Button(this, 1104, "ＵＲＩＢＬ"));
    buttons->addWidget(Button(this, 1129, "ホワイトリスト"));
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addStretch();
}

void CSpamCheckSetDlg0::OnInitDialog() {
    for (auto [id, file] : {std::pair{1122, "spamkeyword.db"}, std::pair{1104, "spam-dnsbl.db"},
                            std::pair{1129, "passspf.db"}}) {
        ColorButton* button = nullptr;
        AttachButton(button, id, this, [file] { EditListFile(file, MailFilterTemplate(file)); });
    }
    spf_ = ReadSetting("spamspf1", 0);
    date_ = ReadSetting("spamdate", 0);
    BindCheck(1123, date_);
    BindCheck(1124, spf_);
    ControlsFromFields();
}

bool CSpamCheckSetDlg0::SaveSettings() {
    if (!FieldsFromControls()) return false;
    WriteDword("spamspf1", static_cast<uint32_t>(spf_));
    WriteDword("spamdate", static_cast<uint32_t>(date_));
    ControlsFromFields();
    return true;
}

}  // namespace panel
