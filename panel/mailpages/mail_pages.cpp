#include "panel/mailpages/mail_pages.h"

#include "panel/framework/page_table.h"
#include "panel/mailpages/mail_archive_page.h"
#include "panel/mailpages/mail_connection_page.h"
#include "panel/mailpages/pop3_option_pages.h"
#include "panel/mailpages/smtp_option_pages.h"

namespace panel {

void RegisterMailPages() {
    RegisterPage<CSmtpSetDlg>(kSmtpSetDlg);
    RegisterPage<Csmtpdlg>(kCsmtpdlg);
    RegisterPage<Csmtpdlg00>(kCsmtpdlg00);
    RegisterPage<Csmtpdlg1>(kCsmtpdlg1);
    RegisterPage<Csmtpdlg10>(kCsmtpdlg10);
    RegisterPage<Csmtpdlg11>(kCsmtpdlg11);
    RegisterPage<Csmtpdlg12>(kCsmtpdlg12);
    RegisterPage<CPop3SetDlg>(kPop3SetDlg);
    RegisterPage<Cpop3dlg>(kCpop3dlg);
    RegisterPage<Cpop3dlg00>(kCpop3dlg00);
    RegisterPage<Cpop3dlg1>(kCpop3dlg1);
    RegisterPage<Cpop3dlg10>(kCpop3dlg10);
    RegisterPage<Cpop3dlg11>(kCpop3dlg11);
}

}  // namespace panel
