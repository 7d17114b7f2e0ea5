#include "panel/mailpages/mail_pages.h"

#include <memory>

#include "panel/mailpages/mail_archive_page.h"
#include "panel/mailpages/mail_connection_page.h"
#include "panel/mailpages/pop3_option_pages.h"
#include "panel/mailpages/smtp_option_pages.h"
#include "panel/shell/page_table.h"

namespace panel {
namespace {

template <typename Page>
void Register(PageSlot slot) {
    RegisterPageMaker(slot, [](int templateId) { return std::make_unique<Page>(templateId); });
}

}  // namespace

void RegisterMailPages() {
    Register<CSmtpSetDlg>(kSmtpSetDlg);
    Register<Csmtpdlg>(kCsmtpdlg);
    Register<Csmtpdlg00>(kCsmtpdlg00);
    Register<Csmtpdlg1>(kCsmtpdlg1);
    Register<Csmtpdlg10>(kCsmtpdlg10);
    Register<Csmtpdlg11>(kCsmtpdlg11);
    Register<Csmtpdlg12>(kCsmtpdlg12);
    Register<CPop3SetDlg>(kPop3SetDlg);
    Register<Cpop3dlg>(kCpop3dlg);
    Register<Cpop3dlg00>(kCpop3dlg00);
    Register<Cpop3dlg1>(kCpop3dlg1);
    Register<Cpop3dlg10>(kCpop3dlg10);
    Register<Cpop3dlg11>(kCpop3dlg11);
}

}  // namespace panel
