// The small pages of the HTTP, FTP and SOCKS proxies: one on/off page a
// proxy (the proxy and its log), the pages of one or two values
// (connections, IP version, SOCKS version, data port range, cache
// lifetime) and the pages that only offer list-file buttons.
#pragma once

#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "panel/framework/settings_page.h"
#include "panel/framework/switch_and_log_page.h"

class QBoxLayout;

namespace panel {

// The proxy switch and the log switch.
class CHttpSetDlg : public SwitchAndLogPage {
    Q_OBJECT
public:
    explicit CHttpSetDlg(int templateId = 190, QWidget* parent = nullptr);
};
class CFtpSetupDlg : public SwitchAndLogPage {
    Q_OBJECT
public:
    explicit CFtpSetupDlg(int templateId = 192, QWidget* parent = nullptr);
};
class CSocksSetDlg : public SwitchAndLogPage {
    Q_OBJECT
public:
    explicit CSocksSetDlg(int templateId = 194, QWidget* parent = nullptr);
};

// A page of DWORD values (numbers and radio groups) and buttons. A
// subclass lays its template out with the Add functions, values in the
// order they are read and written.
class ValuePage : public SettingsPage {
    Q_OBJECT
public:
    bool SaveSettings() override;

protected:
    ValuePage(int templateId, QWidget* parent);
    void OnInitDialog() override;

    // A number edit with its label; `ranged`: 0 to 65535.
    void AddNumber(QBoxLayout* layout, int labelId, const char* label, int editId, const char* value,
                   NumberKind kind, bool ranged);
    // The data port range: two ranged edits in one group.
    void AddPortRange(QBoxLayout* layout, const char* startValue, NumberKind startKind, const char* endValue,
                      NumberKind endKind);
    // A radio group; the value is the index of the chosen button.
    void AddRadioGroup(QBoxLayout* layout, const char* title, std::vector<std::pair<int, const char*>> radios,
                       const char* value);
    // The IP version group (1139 "IPv4のみ", 1140 "IPv6のみ", 1141 "併用").
    void AddIpVersion(QBoxLayout* layout, const char* value);
    // A colour button that runs `action`.
    void AddButton(QBoxLayout* layout, int id, const char* text, std::function<void()> action);

private:
    struct Value {
        const char* name;
        uint32_t number = 0;
        int choice = -1;
        uint32_t stored = 0;  // what was read or last written
        bool radio = false;
        std::vector<int> ids;  // the edit, or the radio buttons
        NumberKind kind = NumberKind::Unsigned;
        bool ranged = false;
    };
    std::deque<Value> values_;
    std::vector<std::pair<int, std::function<void()>>> buttons_;
};

#define VELQOR_VALUE_PAGE(Class, Template)                                  \
    class Class : public ValuePage {                                        \
    public:                                                                 \
        explicit Class(int templateId = Template, QWidget* parent = nullptr); \
                                                                            \
    protected:                                                              \
        void BuildTemplate() override;                                      \
    };

VELQOR_VALUE_PAGE(Chttp10dlg, 110)
VELQOR_VALUE_PAGE(Chttpdlg00, 113)
VELQOR_VALUE_PAGE(Chttp01dlg, 112)
VELQOR_VALUE_PAGE(Cftpdlg00, 116)
VELQOR_VALUE_PAGE(Cftpdlg10, 117)
VELQOR_VALUE_PAGE(Cftpdlg11, 118)
VELQOR_VALUE_PAGE(Cftpdlg12, 119)
VELQOR_VALUE_PAGE(Csocksdlg00, 133)
VELQOR_VALUE_PAGE(Csocksdlg10, 135)
VELQOR_VALUE_PAGE(Csocksdlg11, 136)
VELQOR_VALUE_PAGE(Csocksdlg12, 140)
VELQOR_VALUE_PAGE(Csocksdlg13, 141)
// Pages of list-file buttons only; they save nothing.
VELQOR_VALUE_PAGE(Chttpdlg02, 114)
VELQOR_VALUE_PAGE(Cftpdlg1, 177)
VELQOR_VALUE_PAGE(Csocksdlg1, 179)

#undef VELQOR_VALUE_PAGE

}  // namespace panel
