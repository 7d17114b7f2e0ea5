#include "panel/webpages/auth_mode_pages.h"

#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "common/proxy_values.h"
#include "panel/framework/page_parts.h"
#include "panel/framework/registry_ops.h"
#include "panel/webpages/auth_sources.h"

namespace panel {
namespace {

const AuthModeTraits kHttpMode = {"接続にはユーザ認証が必要。", common::http_value::kAuth,
                                  common::http_value::kAuthType,
                                  HttpUserSourceChoice};
const AuthModeTraits kSocksMode = {"接続には認証が必要。", common::socks_value::kAuth,
                                   common::socks_value::kAuthType,
                                   SocksUserSourceChoice};

}  // namespace

AuthModePage::AuthModePage(const AuthModeTraits& traits, int templateId, QWidget* parent)
    : SettingsPage(templateId, parent), traits_(traits) {}

void AuthModePage::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* box = CheckBox(this, kAuthRequiredCheck, traits_.checkText);
    layout->addWidget(box);
    auto* group = Group(this, kUserSourceGroup, "利用するユーザ情報");
    auto* inner = new QVBoxLayout(group);
    auto* own = Radio(group, kOwnUsersRadio, "独自ユーザ");
    auto* ldap = Radio(group, kLdapUsersRadio, "LDAPユーザ");
    inner->addWidget(own);
    inner->addWidget(ldap);
    layout->addWidget(group);
    layout->addStretch();
    connect(box, &QCheckBox::clicked, this, [this] {
        FieldsFromControls();
        ApplyEnablingRule();
        ControlsFromFields();
    });
    // The user list page follows the radios at once; only a save writes
    // the registry.
    connect(own, &QRadioButton::clicked, this, [this] { traits_.sourceChoice() = 0; });
    connect(ldap, &QRadioButton::clicked, this, [this] { traits_.sourceChoice() = 1; });
}

void AuthModePage::OnInitDialog() {
    on_ = static_cast<int>(RegReadDword(kProductSettingsKey, traits_.onValue.name, traits_.onValue.byDefault));
    type_ = static_cast<int>(RegReadDword(kProductSettingsKey, traits_.typeValue.name, traits_.typeValue.byDefault));
    traits_.sourceChoice() = type_;
    BindCheck(kAuthRequiredCheck, on_);
    BindRadio({kOwnUsersRadio, kLdapUsersRadio}, radio_);
    radio_ = type_;
    ControlsFromFields();
    ApplyEnablingRule();
}

void AuthModePage::ApplyEnablingRule() {
    EnableIds(this, {kUserSourceGroup, kOwnUsersRadio, kLdapUsersRadio}, on_ != 0);
}

bool AuthModePage::SaveSettings() {
    if (!FieldsFromControls()) return false;
    // A stored source outside the two buttons stays as read until a button
    // is chosen.
    if (radio_ >= 0) type_ = radio_;
    WriteDword(traits_.onValue.name, static_cast<uint32_t>(on_));
    WriteDword(traits_.typeValue.name, static_cast<uint32_t>(type_));
    ControlsFromFields();
    return true;
}

Chttp20dlg::Chttp20dlg(int templateId, QWidget* parent) : AuthModePage(kHttpMode, templateId, parent) {}
Csocks2dlg00::Csocks2dlg00(int templateId, QWidget* parent) : AuthModePage(kSocksMode, templateId, parent) {}

}  // namespace panel
