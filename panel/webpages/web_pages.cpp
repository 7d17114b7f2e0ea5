#include "panel/webpages/web_pages.h"

#include <memory>

#include "panel/shell/page_table.h"
#include "panel/webpages/connection_pages.h"

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
}

}  // namespace panel
