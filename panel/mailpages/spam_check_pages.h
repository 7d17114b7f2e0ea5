// The spam check pages: the check on or off with its log and subject tag,
// and which checks run with the three list files they use.
#pragma once

#include <QString>

#include "panel/framework/settings_page.h"

namespace panel {

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
