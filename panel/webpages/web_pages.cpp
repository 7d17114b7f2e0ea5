#include "panel/webpages/web_pages.h"

#include "panel/framework/page_table.h"
#include "panel/webpages/connection_pages.h"
#include "panel/webpages/http_detail_page.h"
#include "panel/webpages/option_pages.h"

namespace panel {

void RegisterWebPages() {
    RegisterPage<Chttp1dlg>(kChttp1dlg);
    RegisterPage<Cftpdlg>(kCftpdlg);
    RegisterPage<Csocksdlg>(kCsocksdlg);
    RegisterPage<Chttpdlg>(kChttpdlg);
    RegisterPage<CHttpSetDlg>(kHttpSetDlg);
    RegisterPage<CFtpSetupDlg>(kFtpSetupDlg);
    RegisterPage<CSocksSetDlg>(kSocksSetDlg);
    RegisterPage<Chttp10dlg>(kChttp10dlg);
    RegisterPage<Chttpdlg00>(kChttpdlg00);
    RegisterPage<Chttp01dlg>(kChttp01dlg);
    RegisterPage<Chttpdlg02>(kChttpdlg02);
    RegisterPage<Cftpdlg00>(kCftpdlg00);
    RegisterPage<Cftpdlg1>(kCftpdlg1);
    RegisterPage<Cftpdlg10>(kCftpdlg10);
    RegisterPage<Cftpdlg11>(kCftpdlg11);
    RegisterPage<Cftpdlg12>(kCftpdlg12);
    RegisterPage<Csocksdlg00>(kCsocksdlg00);
    RegisterPage<Csocksdlg1>(kCsocksdlg1);
    RegisterPage<Csocksdlg10>(kCsocksdlg10);
    RegisterPage<Csocksdlg11>(kCsocksdlg11);
    RegisterPage<Csocksdlg12>(kCsocksdlg12);
    RegisterPage<Csocksdlg13>(kCsocksdlg13);
}

}  // namespace panel
