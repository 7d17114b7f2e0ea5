// The HTTP proxy's "接続制限" page: the list-file buttons (admission,
// white and black lists, URI blocklist zones, forbidden words), the content
// rating levels with their switch, and the presets, three of which write
// the kids filter record.
#pragma once

#include <QString>
#include <array>

#include "common/proxy_values.h"
#include "panel/framework/settings_page.h"

class QComboBox;

namespace panel {

// The list-file buttons.
inline constexpr int kHttpConnectListButton = 1217;
inline constexpr int kHttpWhiteListButton = 1084;
inline constexpr int kHttpBlackListButton = 1087;
inline constexpr int kHttpUriblButton = 1091;
inline constexpr int kForbiddenWordsButton = 1256;
// The rating switch, the presets and the line above the levels.
inline constexpr int kPicsLabelCheck = 1043;
inline constexpr int kRatingPresetCombo = 1011;
inline constexpr int kRatingHintLabel = 1045;
// Each rating category: its group and its radio buttons, level 0 first.
inline constexpr int kNudityGroup = 1017;
inline constexpr std::array<int, 5> kNudityRadios = {1025, 1034, 1035, 1036, 1037};
inline constexpr int kViolenceGroup = 1013;
inline constexpr std::array<int, 5> kViolenceRadios = {1024, 1030, 1031, 1032, 1033};
inline constexpr int kCommunicationGroup = 1016;
inline constexpr std::array<int, 3> kCommunicationRadios = {1046, 1047, 1048};
inline constexpr int kSexGroup = 1012;
inline constexpr std::array<int, 5> kSexRadios = {1023, 1026, 1027, 1028, 1029};
inline constexpr int kLanguageGroup = 1014;
inline constexpr std::array<int, 5> kLanguageRadios = {1038, 1039, 1040, 1041, 1042};
inline constexpr int kOtherGroup = 1015;
inline constexpr std::array<int, 4> kOtherRadios = {1049, 1050, 1051, 1052};

class Chttpdlg : public SettingsPage {
    Q_OBJECT
public:
    explicit Chttpdlg(int templateId = 137, QWidget* parent = nullptr);
    bool SaveSettings() override;
    // Nothing on this page is refused.
    bool CheckSettings() override { return true; }

    // The PICS-Label box; also at the end of the opening and after preset 0.
    void OnPicsLabelClicked();
    // A preset chosen in the preset combo box.
    void OnPresetSelChange();

    // The preset texts in list order.
    static QString PresetText(int item);

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    struct Level {
        common::DwordValue value;
        int field;
        uint32_t stored;
    };
    void SetLevels(int nudity, int sex, int violence, int language, int other, int communication);
    // The preset the combo box shows, -1 for none or typed text.
    int SelectedPreset() const;

    QComboBox* preset_ = nullptr;
    // In the order the page exchanges them: language, nudity, other,
    // sexual content, violence, communication.
    // A level before the registry is read: its default.
    static constexpr Level Unread(common::DwordValue value) {
        return {value, static_cast<int>(value.byDefault), value.byDefault};
    }
    Level levels_[6] = {Unread(common::http_value::kPicsLanguage), Unread(common::http_value::kPicsNudity),
                        Unread(common::http_value::kPicsOther),    Unread(common::http_value::kPicsSex),
                        Unread(common::http_value::kPicsViolence), Unread(common::http_value::kPicsCommunication)};
    int picsUse_ = 0;
};

}  // namespace panel
