// The spam check pages: the check on or off with its log and subject tag,
// and which checks run with the three list files they use.
#pragma once

#include <QString>

#include "panel/framework/settings_page.h"

namespace panel {

// The switch, its log and the tag put in the subject.
inline constexpr int kSpamCheckCheck = 1108;
inline constexpr int kSpamLogCheck = 1113;
inline constexpr int kSpamTagLabel = 1111;
inline constexpr int kSpamTagEdit = 1106;
class CSpamCheckSetDlg : public SettingsPage {
    Q_OBJECT
public:
    explicit CSpamCheckSetDlg(int templateId = 196, QWidget* parent = nullptr);
    bool SaveSettings() override;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    void ApplyEnablingRule();
    int check_ = 0;
    int log_ = 0;
    QString tag_;
};

// The checks, and the buttons of the three list files.
inline constexpr int kSpamDateCheck = 1123;
inline constexpr int kSpamSpfCheck = 1124;
inline constexpr int kSpamKeywordButton = 1122;
inline constexpr int kSpamUriblButton = 1104;
inline constexpr int kSpamWhiteListButton = 1129;
class CSpamCheckSetDlg0 : public SettingsPage {
    Q_OBJECT
public:
    explicit CSpamCheckSetDlg0(int templateId = 142, QWidget* parent = nullptr);
    bool SaveSettings() override;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    int date_ = 0;
    int spf_ = 0;
};

}  // namespace panel
