// The settings window's 50 pages: their slots in member order, templates,
// the tree that shows them, the order they are saved in, and the list pages
// that take the delete command.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace panel {

class SettingsPage;

inline constexpr int kPageCount = 50;

enum PageSlot : int {
    kHttpSetDlg, kChttp1dlg, kChttp10dlg, kChttpdlg, kChttpdlg00, kChttp01dlg, kChttpdlg02, kChttp2dlg,
    kChttp20dlg, kLDAPDlg, kFtpSetupDlg, kCftpdlg, kCftpdlg00, kCftpdlg1, kCftpdlg10, kCftpdlg11, kCftpdlg12,
    kSmtpSetDlg, kCsmtpdlg, kCsmtpdlg00, kCsmtpdlg1, kCsmtpdlg10, kCsmtpdlg11, kCsorvant, kCsorvant00,
    kCsorvant01, kCsmtpdlg12, kPop3SetDlg, kCpop3dlg, kCpop3dlg00, kCpop3dlg1, kCpop3dlg10, kCpop3dlg11,
    kSocksSetDlg, kCsocksdlg, kCsocksdlg00, kCsocksdlg1, kCsocksdlg10, kCsocksdlg11, kCsocksdlg12,
    kCsocksdlg13, kCsocks2dlg, kCsocks2dlg00, kSpamCheckSetDlg, kSpamCheckSetDlg0, kAntiVirusSetDlg,
    kAntiVirusSetDlg0, kAntiVirusSetDlg1, kAntiVirusSetDlg2, kSendDlg,
};

struct PageInfo {
    const char* className;
    int templateId;
};
const std::array<PageInfo, kPageCount>& Pages();

// One item of the page tree, in insertion order. A section (depth 0) and
// everything in it exist only when its program file is present; an item
// with `alsoNeeds` (and its children) only when that file is present too.
struct TreeRow {
    const char* label;
    int image;
    PageSlot slot;
    int depth;
    const char* needs;  // program file name, without ".exe"
};
const std::vector<TreeRow>& TreeRows();

// Icons of the tree's images 0 to 13.
const std::array<int, 14>& TreeImageIcons();

// The 45 pages with values, in the order the window saves them.
const std::vector<PageSlot>& SaveOrder();
// The list pages, in the order the delete command looks for the shown one.
const std::vector<PageSlot>& ListPages();
// The section pages, in the order the first shown page is chosen.
const std::vector<PageSlot>& SectionPages();

// Makes the page of a slot; the window owns it.
using PageFactory = std::function<std::unique_ptr<SettingsPage>(PageSlot slot, int templateId)>;
// The registered pages; a slot nobody registered gets an empty page of its
// template.
PageFactory DefaultPageFactory();

// Each page folder registers the makers of its pages once at start, before
// the first settings window opens (velqorctl's main and the tests call the
// folder's Register...Pages function). A later registration of a slot
// replaces the earlier one.
using PageMaker = std::function<std::unique_ptr<SettingsPage>(int templateId)>;
void RegisterPageMaker(PageSlot slot, PageMaker maker);

// The maker of a page class built from its template id alone.
template <typename Page>
void RegisterPage(PageSlot slot) {
    RegisterPageMaker(slot, [](int templateId) { return std::make_unique<Page>(templateId); });
}

}  // namespace panel
