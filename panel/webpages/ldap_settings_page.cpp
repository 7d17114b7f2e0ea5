#include "panel/webpages/ldap_settings_page.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "common/publish_file.h"
#include "panel/framework/page_parts.h"
#include "panel/framework/panel_state.h"
#include "panel/webpages/ldap_directory.h"

namespace panel {
namespace {

struct FieldControl {
    int id;
    const char* label;
    const char* key;
    bool inSchemaGroup;
};

namespace ini = common::ldap_ini;

// The edits in the order of the page, with the line key each one holds.
const FieldControl kControls[] = {
    {kLdapServerEdit, "LDAP サーバ", ini::kServer, false},
    {kLdapPortEdit, "ﾎﾟｰﾄ", ini::kPort, false},
    {kLdapUserEdit, "Username", ini::kId, false},
    {kLdapPasswordEdit, "Password", ini::kPassword, false},
    {kLdapRdnEdit, "RDN", ini::kSchemaRdn, false},
    {kLdapBaseDnEdit, "Base DN", ini::kSchemaDc, false},
    {kLdapScopeEdit, "Scope", ini::kSchemaFilter, false},
    {kLdapObjectClassEdit, "objectClass", ini::kObjectClass, false},
    {kLdapMailGroupEdit, "Mail Group", ini::kGroup, false},
    {kLdapUidEdit, "UID", ini::kSchemaRid, true},
    {kLdapUserPasswordEdit, "UserPassword", ini::kSchemaRpw, true},
    {kLdapDisplayNameEdit, "DisplayName", ini::kSchemaName, true},
    {kLdapHomeDirectoryEdit, "HomeDirectory", ini::kSchemaHome, true},
    {kLdapMemberEdit, "Member", ini::kSchemaMember, true},
    {kLdapAccountControlEdit, "Accountcontrol", ini::kAccountControl, true},
    {kLdapAccountControlCodeEdit, "ｺｰﾄﾞ", ini::kAccountControlCode, true},
};

const LdapKey& KeyOf(const char* key) {
    for (const LdapKey& k : LdapKeys())
        if (std::string_view(k.key) == key) return k;
    return LdapKeys().front();
}

// The file holds passwords: administrators only.
constexpr unsigned kLdapFileMode = 0660;

}  // namespace

CLDAPDlg::CLDAPDlg(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void CLDAPDlg::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QGridLayout;
    auto* schema = Group(this, 0, "スキーマ名");
    auto* schemaGrid = new QGridLayout(schema);
    int topRow = 0, schemaRow = 0;
    for (const FieldControl& control : kControls) {
        QWidget* parent = control.inSchemaGroup ? static_cast<QWidget*>(schema) : this;
        QGridLayout* grid = control.inSchemaGroup ? schemaGrid : top;
        int& row = control.inSchemaGroup ? schemaRow : topRow;
        auto* edit = Edit(parent, control.id);
        if (control.id == kLdapPasswordEdit) edit->setEchoMode(QLineEdit::Password);
        grid->addWidget(Static(parent, 0, control.label), row, 0);
        grid->addWidget(edit, row, 1);
        ++row;
        const LdapKey& key = KeyOf(control.key);
        connect(edit, &QLineEdit::textEdited, this, [this, &key] { OnFieldEdited(key); });
    }
    layout->addLayout(top);
    layout->addWidget(schema);
    layout->addStretch();
}

void CLDAPDlg::OnInitDialog() {
    for (const FieldControl& control : kControls) {
        const LdapKey& key = KeyOf(control.key);
        // The engine reads lines of up to 1,023 bytes, line end included.
        const int most = static_cast<int>(ini::kLineLimit - std::string_view(key.key).size() - 2);
        if (key.text)
            BindText(control.id, fields_.*key.text, TextLimit{0, most, false});
        else
            BindNumber(control.id, fields_.*key.number, NumberKind::Unsigned32);
    }
    LdapSettingsChanged() = false;
    LoadLdapSettings();
    ControlsFromFields();
}

void CLDAPDlg::LoadLdapSettings() {
    ReadLdapSettingsFile(DataFolder() + ini::kFileName, fields_);
    // The user pages list the directory with what this page shows, defaults
    // of keys the file lacks included.
    SharedLdapSettings() = fields_;
    SharedLdapSettingsLoaded() = true;
}

void CLDAPDlg::OnFieldEdited(const LdapKey& key) {
    // Only the edited field is taken: a half-typed number elsewhere does not
    // bring a message at every keystroke; the save checks them all.
    for (const FieldControl& control : kControls) {
        if (&KeyOf(control.key) != &key) continue;
        auto* edit = Control<QLineEdit>(this, control.id);
        if (!edit) return;
        if (key.text) {
            fields_.*key.text = edit->text();
            SharedLdapSettings().*key.text = fields_.*key.text;
        } else {
            bool ok = false;
            uint32_t value = edit->text().trimmed().toUInt(&ok, 10);
            if (ok) fields_.*key.number = value;
            SharedLdapSettings().*key.number = fields_.*key.number;
        }
    }
    SharedLdapSettingsLoaded() = true;
    LdapSettingsChanged() = true;
}

void CLDAPDlg::SaveLdapSettings() {
    common::PublishFile(DataFolder() + ini::kFileName, FormatLdapSettings(fields_), {}, kLdapFileMode);
}

bool CLDAPDlg::SaveSettings() {
    if (!FieldsFromControls()) return false;
    SaveLdapSettings();
    ControlsFromFields();
    return true;
}

}  // namespace panel
