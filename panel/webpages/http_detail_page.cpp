#include "panel/webpages/http_detail_page.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <span>

#include "panel/framework/list_file_edit.h"
#include "panel/framework/page_parts.h"
#include "panel/framework/registry_ops.h"
#include "panel/webpages/kids_records.h"

namespace panel {
namespace {

enum LevelIndex { kLanguage, kNudity, kOther, kSex, kViolence, kCommunication };

struct Category {
    LevelIndex level;
    int groupId;
    const char* title;
    std::span<const int> ids;        // level 0 first
    std::vector<const char*> texts;  // beside each id
};

// Shown in this order on the page.
const std::vector<Category>& Categories() {
    static const std::vector<Category> categories = {
        {kNudity, kNudityGroup, "ヌード", kNudityRadios, {"無し", "露出的服装", "部分露出", "全裸", "刺激的全裸"}},
        {kViolence, kViolenceGroup, "暴力的表現", kViolenceRadios,
         {"無し", "傷害", "殺人", "流血のある殺人", "残忍で過激な暴力"}},
        {kCommunication, kCommunicationGroup, "コミニュケーション", kCommunicationRadios,
         {"無し", "掲示板・通販", "チャット等"}},
        {kSex, kSexGroup, "性的表現", kSexRadios,
         {"無し", "情熱的キス", "着衣のままの性的接触", "不鮮明な性的接触", "鮮明な性行為"}},
        {kLanguage, kLanguageGroup, "言語表現", kLanguageRadios,
         {"無し", "穏やかな悪口", "悪口", "性的表現", "不快な表現"}},
        {kOther, kOtherGroup, "その他", kOtherRadios, {"無し", "酒・煙草・ギャンブル", "武器・差別・違法", "薬物使用"}},
    };
    return categories;
}

const Category& CategoryOf(LevelIndex level) {
    for (const Category& category : Categories())
        if (category.level == level) return category;
    return Categories().front();
}

struct ListButton {
    int id;
    const char* text;
    const char* file;
};
const ListButton kListButtons[] = {
    {kHttpConnectListButton, "接続アドレス編集", "http-con.ini"},
    {kHttpWhiteListButton, "ホワイトリスト編集", "white.db"},
    {kHttpBlackListButton, "ブラックリスト編集", "black.db"},
    {kHttpUriblButton, "ＵＲＩＢＬ編集", "http-dnsbl.db"},
    {kForbiddenWordsButton, "禁止ワード編集", "cwf.db"},
};

}  // namespace

Chttpdlg::Chttpdlg(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

QString Chttpdlg::PresetText(int item) {
    const QString pad(9, QChar(0x3000));
    switch (item) {
    case 0: return QString::fromUtf8("制限無し") + pad;
    case 1: return QString::fromUtf8("手動制限") + pad;
    case 2: return QString::fromUtf8("簡易制限（高校生以下）");
    case 3: return QString::fromUtf8("簡易制限（中学生以下）");
    case 4: return QString::fromUtf8("簡易制限（小学生以下）");
    default: return {};
    }
}

void Chttpdlg::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(4);
    auto* buttons = new QGridLayout;
    int at = 0;
    for (const ListButton& button : kListButtons) {
        buttons->addWidget(Button(this, button.id, button.text), at / 3, at % 3);
        ++at;
    }
    layout->addLayout(buttons);
    auto* pics = new QHBoxLayout;
    pics->addWidget(CheckBox(this, kPicsLabelCheck, "PICS-Label"));
    preset_ = WithId(new QComboBox(this), kRatingPresetCombo);
    preset_->setEditable(true);
    preset_->setInsertPolicy(QComboBox::NoInsert);
    for (int item = 0; item < 5; ++item) preset_->addItem(PresetText(item));
    pics->addWidget(preset_, 1);
    layout->addLayout(pics);
    layout->addWidget(Static(this, kRatingHintLabel, "許可する表現範疇を選択します。"));
    auto* grid = new QGridLayout;
    int place = 0;
    for (const Category& category : Categories()) {
        auto* group = Group(this, category.groupId, category.title);
        auto* column = new QVBoxLayout(group);
        // Two columns of compact groups leave the longest levels their
        // whole text.
        column->setSpacing(0);
        column->setContentsMargins(6, 2, 6, 2);
        auto* exclusive = new QButtonGroup(group);
        for (size_t i = 0; i < category.ids.size(); ++i) {
            auto* radio = Radio(group, category.ids[i], category.texts[i]);
            exclusive->addButton(radio);
            column->addWidget(radio);
        }
        column->addStretch();
        grid->addWidget(group, place / 2, place % 2);
        ++place;
    }
    layout->addLayout(grid, 1);
    connect(Control<QCheckBox>(this, kPicsLabelCheck), &QCheckBox::clicked, this, [this] { OnPicsLabelClicked(); });
    connect(preset_, &QComboBox::activated, this, [this] { OnPresetSelChange(); });
}

void Chttpdlg::OnInitDialog() {
    for (const ListButton& button : kListButtons) {
        const char* file = button.file;
        AttachButton(this, button.id, [file] { EditListFile(file, WebListTemplate(file, ListPage::Http)); });
    }
    for (Level& level : levels_) {
        const std::span<const int> ids = CategoryOf(static_cast<LevelIndex>(&level - levels_)).ids;
        BindRadio(std::vector<int>(ids.begin(), ids.end()), level.field);
    }
    BindCheck(kPicsLabelCheck, picsUse_);

    picsUse_ = static_cast<int>(RegReadDword(kProductSettingsKey, common::http_value::kPicsUse.name, common::http_value::kPicsUse.byDefault));
    preset_->setCurrentIndex(-1);
    preset_->setEditText(QString());
    if (picsUse_ != 0) {
        for (Level& level : levels_) {
            level.stored = RegReadDword(kProductSettingsKey, level.value.name, level.stored);
            level.field = static_cast<int>(level.stored);
        }
        const int nudity = levels_[kNudity].field, sex = levels_[kSex].field, violence = levels_[kViolence].field,
                  language = levels_[kLanguage].field, other = levels_[kOther].field,
                  communication = levels_[kCommunication].field;
        const bool restricted = nudity == 0 && sex == 0 && violence == 0 && language == 0 && other == 0;
        int item = 1;
        if (restricted && communication == 2) item = 2;
        if (restricted && communication == 1) item = 3;
        if (restricted && communication == 0) item = 4;
        int index = preset_->findText(PresetText(item), Qt::MatchExactly);
        preset_->setCurrentIndex(index);
    }
    ControlsFromFields();
    OnPicsLabelClicked();
}

void Chttpdlg::OnPicsLabelClicked() {
    FieldsFromControls();
    const bool on = picsUse_ != 0;
    EnableIds(this, {kRatingPresetCombo, kRatingHintLabel}, on);
    for (const Category& category : Categories()) {
        EnableIds(this, {category.groupId}, on);
        for (int id : category.ids) EnableIds(this, {id}, on);
    }
    // The filter must not go on judging by a record the administrator
    // switched off; this happens at once, Cancel does not bring it back.
    if (!on) DeleteKidsRecord();
    ControlsFromFields();
}

void Chttpdlg::SetLevels(int nudity, int sex, int violence, int language, int other, int communication) {
    levels_[kNudity].field = nudity;
    levels_[kSex].field = sex;
    levels_[kViolence].field = violence;
    levels_[kLanguage].field = language;
    levels_[kOther].field = other;
    levels_[kCommunication].field = communication;
}

int Chttpdlg::SelectedPreset() const {
    const QString text = preset_->currentText();
    for (int item = 0; item < 5; ++item)
        if (text == PresetText(item)) return preset_->currentIndex() >= 0 ? item : -1;
    return -1;
}

void Chttpdlg::OnPresetSelChange() {
    switch (SelectedPreset()) {
    case 0:
        FieldsFromControls();
        SetLevels(4, 4, 4, 4, 3, 2);
        picsUse_ = 0;
        ControlsFromFields();
        OnPicsLabelClicked();
        break;
    case 2:
    case 3:
    case 4: {
        FieldsFromControls();
        const int communication = 4 - SelectedPreset();  // 2, 1, 0
        SetLevels(0, 0, 0, 0, 0, communication);
        ControlsFromFields();
        break;
    }
    default:
        break;
    }
}

bool Chttpdlg::SaveSettings() {
    FieldsFromControls();
    // A stored level outside its buttons shows none checked; it stays as
    // it was unless a button is chosen.
    for (Level& level : levels_) {
        if (level.field >= 0) level.stored = static_cast<uint32_t>(level.field);
        level.field = static_cast<int>(level.stored);
    }
    WriteDword(common::http_value::kPicsUse.name, static_cast<uint32_t>(picsUse_));
    if (picsUse_ != 0) {
        WriteDword(common::http_value::kPicsUse.name, static_cast<uint32_t>(picsUse_));
        for (LevelIndex index : {kNudity, kSex, kViolence, kLanguage, kOther, kCommunication})
            WriteDword(levels_[index].value.name, levels_[index].stored);
        switch (SelectedPreset()) {
        case 0: DeleteKidsRecord(); break;
        case 2: WriteKidsRecord(KidsRecord::R18); break;
        case 3: WriteKidsRecord(KidsRecord::R15); break;
        case 4: WriteKidsRecord(KidsRecord::R12); break;
        default: break;
        }
    }
    ControlsFromFields();
    return true;
}

}  // namespace panel
