#include "panel/mailpages/mail_filter_pages.h"

#include "panel/framework/page_table.h"
#include "panel/mailpages/archive_zip_pages.h"
#include "panel/mailpages/notify_mail_page.h"
#include "panel/mailpages/spam_check_pages.h"

namespace panel {

void RegisterMailFilterPages() {
    RegisterPage<Csorvant>(kCsorvant);
    RegisterPage<Csorvant00>(kCsorvant00);
    RegisterPage<Csorvant01>(kCsorvant01);
    RegisterPage<CSpamCheckSetDlg>(kSpamCheckSetDlg);
    RegisterPage<CSpamCheckSetDlg0>(kSpamCheckSetDlg0);
    RegisterPage<CSendDlg>(kSendDlg);
}

}  // namespace panel
