// The LDAP page: the directory the HTTP and SOCKS proxies check users
// against in LDAP mode. One page, shown under both protocols.
#pragma once

#include "panel/framework/settings_page.h"
#include "panel/webpages/ldap_settings_file.h"

namespace panel {

class CLDAPDlg : public SettingsPage {
    Q_OBJECT
public:
    explicit CLDAPDlg(int templateId = 175, QWidget* parent = nullptr);
    bool SaveSettings() override;

    void SaveLdapSettings();
    void LoadLdapSettings();
    const LdapFields& Fields() const { return fields_; }

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    void OnFieldEdited(const LdapKey& key);
    LdapFields fields_;
};

}  // namespace panel
