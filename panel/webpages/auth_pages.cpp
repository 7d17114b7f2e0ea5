#include "panel/webpages/auth_pages.h"

#include "panel/shell/page_table.h"
#include "panel/webpages/auth_mode_pages.h"
#include "panel/webpages/ldap_settings_page.h"
#include "panel/webpages/user_list_pages.h"

namespace panel {

void RegisterAuthPages() {
    RegisterPageMaker(kChttp2dlg, [](int id) { return std::make_unique<Chttp2dlg>(id); });
    RegisterPageMaker(kChttp20dlg, [](int id) { return std::make_unique<Chttp20dlg>(id); });
    RegisterPageMaker(kLDAPDlg, [](int id) { return std::make_unique<CLDAPDlg>(id); });
    RegisterPageMaker(kCsocks2dlg, [](int id) { return std::make_unique<Csocks2dlg>(id); });
    RegisterPageMaker(kCsocks2dlg00, [](int id) { return std::make_unique<Csocks2dlg00>(id); });
}

}  // namespace panel
