// The proxy authentication pages of the settings window: the mode pages,
// the user lists and the LDAP page.
#pragma once

namespace panel {

void RegisterAuthPages();

}  // namespace panel
