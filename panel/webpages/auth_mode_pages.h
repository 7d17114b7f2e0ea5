// The two authentication mode pages: whether the HTTP or the SOCKS proxy
// asks its clients for credentials, and whether the users come from the
// page's own list or from the LDAP directory.
#pragma once

#include "common/setting_value.h"
#include "panel/framework/settings_page.h"

namespace panel {

// The switch (also, hidden, on the user list pages) and the user source.
inline constexpr int kAuthRequiredCheck = 1101;
inline constexpr int kUserSourceGroup = 1003;
inline constexpr int kOwnUsersRadio = 1001;
inline constexpr int kLdapUsersRadio = 1002;

struct AuthModeTraits {
    const char* checkText;   // text of the switch
    common::DwordValue onValue;    // the switch
    common::DwordValue typeValue;  // the user source
    int& (*sourceChoice)();  // HttpUserSourceChoice / SocksUserSourceChoice
};

class AuthModePage : public SettingsPage {
    Q_OBJECT
public:
    AuthModePage(const AuthModeTraits& traits, int templateId, QWidget* parent);
    bool SaveSettings() override;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    void ApplyEnablingRule();
    const AuthModeTraits& traits_;
    int on_{};
    int type_{};
    int radio_ = 0;  // the checked button, -1 for none
};

class Chttp20dlg : public AuthModePage {
    Q_OBJECT
public:
    explicit Chttp20dlg(int templateId = 115, QWidget* parent = nullptr);
};

class Csocks2dlg00 : public AuthModePage {
    Q_OBJECT
public:
    explicit Csocks2dlg00(int templateId = 134, QWidget* parent = nullptr);
};

}  // namespace panel
