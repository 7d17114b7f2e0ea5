#include "panel/webpages/auth_pages.h"

#include "panel/framework/page_table.h"
#include "panel/webpages/auth_mode_pages.h"
#include "panel/webpages/ldap_settings_page.h"
#include "panel/webpages/user_list_pages.h"

namespace panel {

void RegisterAuthPages() {
    RegisterPage<Chttp2dlg>(kChttp2dlg);
    RegisterPage<Chttp20dlg>(kChttp20dlg);
    RegisterPage<CLDAPDlg>(kLDAPDlg);
    RegisterPage<Csocks2dlg>(kCsocks2dlg);
    RegisterPage<Csocks2dlg00>(kCsocks2dlg00);
}

}  // namespace panel
