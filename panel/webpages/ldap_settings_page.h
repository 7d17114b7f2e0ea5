// The LDAP page: the directory the HTTP and SOCKS proxies check users
// against in LDAP mode. One page, shown under both protocols.
#pragma once

#include "panel/framework/settings_page.h"
#include "panel/webpages/ldap_settings_file.h"

namespace panel {

// The edits, in the order of the page; the last seven are the schema names.
inline constexpr int kLdapServerEdit = 1148;
inline constexpr int kLdapPortEdit = 1149;
inline constexpr int kLdapUserEdit = 1150;
inline constexpr int kLdapPasswordEdit = 1151;
inline constexpr int kLdapRdnEdit = 1162;
inline constexpr int kLdapBaseDnEdit = 1152;
inline constexpr int kLdapScopeEdit = 1161;
inline constexpr int kLdapObjectClassEdit = 1163;
inline constexpr int kLdapMailGroupEdit = 1160;
inline constexpr int kLdapUidEdit = 1157;
inline constexpr int kLdapUserPasswordEdit = 1159;
inline constexpr int kLdapDisplayNameEdit = 1155;
inline constexpr int kLdapHomeDirectoryEdit = 1154;
inline constexpr int kLdapMemberEdit = 1156;
inline constexpr int kLdapAccountControlEdit = 1158;
inline constexpr int kLdapAccountControlCodeEdit = 1153;

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
