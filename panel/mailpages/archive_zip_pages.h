// The attachment archiving pages of the SMTP section: what is zipped and
// how the password mail goes out, the To: and Cc: header limits, and the
// archiving log with its list of listen addresses.
#pragma once

#include <QString>
#include <cstdint>

#include "panel/framework/settings_page.h"

namespace panel {

class Csorvant : public SettingsPage {
    Q_OBJECT
public:
    explicit Csorvant(int templateId = 182, QWidget* parent = nullptr);
    bool SaveSettings() override;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    void ApplyAuthRule();
    // Stored values; a radio group's stored value outside its buttons is
    // kept until a button is chosen.
    int envTo_ = 0, envFromType_ = 0, unitZip_ = 1, ipVersion_ = 0, esmtp_ = 0;
    int envToTicked_ = -1, envFromTypeTicked_ = -1, unitZipTicked_ = -1, ipVersionTicked_ = -1;
    QString envFromAddr_, uniqPw_, extension_ = QStringLiteral("ZIP"), smtp_, authId_, authPw_;
    uint32_t smtpPort_ = 25;
};

class Csorvant00 : public SettingsPage {
    Q_OBJECT
public:
    explicit Csorvant00(int templateId = 126, QWidget* parent = nullptr);
    bool SaveSettings() override;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    void ApplyEnablingRules();
    int toHead_ = 0, ccHead_ = 0;
    uint32_t toHeadCount_ = 1, ccHeadCount_ = 0;
};

class Csorvant01 : public SettingsPage {
    Q_OBJECT
public:
    explicit Csorvant01(int templateId = 127, QWidget* parent = nullptr);
    bool SaveSettings() override;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    int log_ = 0;
};

}  // namespace panel
