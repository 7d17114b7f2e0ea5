#include "panel/webpages/web_pages.h"

#include <memory>

#include "panel/shell/page_table.h"
#include "panel/webpages/connection_pages.h"
#include "panel/webpages/http_detail_page.h"
#include "panel/webpages/option_pages.h"

namespace panel {
namespace {

template <typename Page>
void Register(PageSlot slot) {
    RegisterPageMaker(slot, [](int templateId) { return std::make_unique<Page>(templateId); });
}

}  // namespace

void RegisterWebPages() {
    Register<Chttp1dlg>(kChttp1dlg);
    Register<Cftpdlg>(kCftpdlg);
    Register<Csocksdlg>(kCsocksdlg);
    Register<Chttpdlg>(kChttpdlg);
    Register<CHttpSetDlg>(kHttpSetDlg);
    Register<CFtpSetupDlg>(kFtpSetupDlg);
    Register<CSocksSetDlg>(kSocksSetDlg);
    Register<Chttp10dlg>(kChttp10dlg);
    Register<Chttpdlg00>(kChttpdlg00);
    Register<Chttp01dlg>(kChttp01dlg);
    Register<Chttpdlg02>(kChttpdlg02);
    Register<Cftpdlg00>(kCftpdlg00);
    Register<Cftpdlg1>(kCftpdlg1);
    Register<Cftpdlg10>(kCftpdlg10);
    Register<Cftpdlg11>(kCftpdlg11);
    Register<Cftpdlg12>(kCftpdlg12);
    Register<Csocksdlg00>(kCsocksdlg00);
    Register<Csocksdlg1>(kCsocksdlg1);
    Register<Csocksdlg10>(kCsocksdlg10);
    Register<Csocksdlg11>(kCsocksdlg11);
    Register<Csocksdlg12>(kCsocksdlg12);
    Register<Csocksdlg13>(kCsocksdlg13);
}

}  // namespace panel
