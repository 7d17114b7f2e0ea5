#include "panel/mailpages/spam_check_pages.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "common/start_values.h"
#include "panel/framework/list_file_edit.h"
#include "panel/framework/page_parts.h"
#include "panel/framework/registry_ops.h"
#include "panel/mailpages/mail_filter_texts.h"

namespace panel {
namespace {

namespace value = common::spam_value;

// Characters of the spam tag, and its bytes in the service's code page.
constexpr int kSpamTagLimit = 255;

}  // namespace

CSpamCheckSetDlg::CSpamCheckSetDlg(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void CSpamCheckSetDlg::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* check = CheckBox(this, kSpamCheckCheck, "スパムチェックを行う");
    layout->addWidget(check);
    layout->addWidget(CheckBox(this, kSpamLogCheck, "ログを残す。"));
    auto* tag = new QHBoxLayout;
    tag->addWidget(Static(this, kSpamTagLabel, "挿入タグ"));
    tag->addWidget(Edit(this, kSpamTagEdit), 1);
    layout->addLayout(tag);
    layout->addStretch();
    connect(check, &QCheckBox::clicked, this, [this] { ApplyEnablingRule(); });
}

void CSpamCheckSetDlg::OnInitDialog() {
    log_ = ReadSetting(value::kLog.name, value::kLog.byDefault);
    check_ = ReadSetting(value::kCheck.name, value::kCheck.byDefault);
    // One limit for the tag on both sides: what the page stores is what the
    // page reads back (a longer stored tag reads as the default, and the
    // next save would overwrite it) and what the service passes on.
    std::string tag;
    RegReadString(RegRoot::LocalMachine, kProductSettingsKey, value::kTag.name, value::kTag.byDefault, tag,
                  (kSpamTagLimit + 1) * 2);
    tag_ = QString::fromStdString(tag);
    BindCheck(kSpamCheckCheck, check_);
    BindCheck(kSpamLogCheck, log_);
    BindText(kSpamTagEdit, tag_, TextLimit{kSpamTagLimit, kSpamTagLimit, false});
    ControlsFromFields();
    ApplyEnablingRule();
}

void CSpamCheckSetDlg::ApplyEnablingRule() {
    EnableIds(this, {kSpamLogCheck, kSpamTagLabel, kSpamTagEdit},
              Control<QCheckBox>(this, kSpamCheckCheck)->isChecked());
}

bool CSpamCheckSetDlg::SaveSettings() {
    if (!FieldsFromControls()) return false;
    WriteDword(value::kLog.name, static_cast<uint32_t>(log_));
    WriteDword(value::kCheck.name, static_cast<uint32_t>(check_));
    WriteString(value::kTag.name, tag_);
    ControlsFromFields();
    return true;
}

CSpamCheckSetDlg0::CSpamCheckSetDlg0(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void CSpamCheckSetDlg0::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CheckBox(this, kSpamDateCheck, "日付ヘッダの異常"));
    layout->addWidget(CheckBox(this, kSpamSpfCheck, "送信ドメイン認証(SPF1)不一致"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button(this, kSpamKeywordButton, "キーワード"));
    buttons->addWidget(Button(this, kSpamUriblButton, "ＵＲＩＢＬ"));
    buttons->addWidget(Button(this, kSpamWhiteListButton, "ホワイトリスト"));
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addStretch();
}

void CSpamCheckSetDlg0::OnInitDialog() {
    for (auto [id, file] :
         {std::pair{kSpamKeywordButton, "spamkeyword.db"}, std::pair{kSpamUriblButton, "spam-dnsbl.db"},
          std::pair{kSpamWhiteListButton, "passspf.db"}}) {
        ColorButton* button = nullptr;
        AttachButton(button, id, this, [file] { EditListFile(file, MailFilterTemplate(file)); });
    }
    spf_ = ReadSetting(value::kSpf.name, value::kSpf.byDefault);
    date_ = ReadSetting(value::kDate.name, value::kDate.byDefault);
    BindCheck(kSpamDateCheck, date_);
    BindCheck(kSpamSpfCheck, spf_);
    ControlsFromFields();
}

bool CSpamCheckSetDlg0::SaveSettings() {
    if (!FieldsFromControls()) return false;
    WriteDword(value::kSpf.name, static_cast<uint32_t>(spf_));
    WriteDword(value::kDate.name, static_cast<uint32_t>(date_));
    ControlsFromFields();
    return true;
}

}  // namespace panel
