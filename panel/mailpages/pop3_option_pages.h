// The POP3 section's small pages: the proxy switch, its connections, the
// admission list, the IP version and what a client receives in place of an
// infected mail.
#pragma once

#include "panel/framework/switch_and_log_page.h"
#include "panel/framework/value_page.h"

namespace panel {

inline constexpr int kPop3OnCheck = 1004;
inline constexpr int kPop3LogCheck = 1028;
class CPop3SetDlg : public SwitchAndLogPage {
    Q_OBJECT
public:
    explicit CPop3SetDlg(int templateId = 193, QWidget* parent = nullptr);
};

inline constexpr int kPop3ConnectionsLabel = 1122;
inline constexpr int kPop3ConnectionsEdit = 1123;
class Cpop3dlg00 : public ValuePage {
    Q_OBJECT
public:
    explicit Cpop3dlg00(int templateId = 128, QWidget* parent = nullptr);

protected:
    void BuildTemplate() override;
};

inline constexpr int kPop3ConnectListButton = 1142;
class Cpop3dlg1 : public ValuePage {
    Q_OBJECT
public:
    explicit Cpop3dlg1(int templateId = 172, QWidget* parent = nullptr);

protected:
    void BuildTemplate() override;
};

// The IP version group: kIpv4OnlyRadio, kIpv6OnlyRadio, kIpBothRadio.
class Cpop3dlg10 : public ValuePage {
    Q_OBJECT
public:
    explicit Cpop3dlg10(int templateId = 130, QWidget* parent = nullptr);

protected:
    void BuildTemplate() override;
};

inline constexpr int kPop3VirusHeaderOnlyRadio = 1218;
inline constexpr int kPop3VirusHeaderAndBodyRadio = 1219;
class Cpop3dlg11 : public ValuePage {
    Q_OBJECT
public:
    explicit Cpop3dlg11(int templateId = 131, QWidget* parent = nullptr);

protected:
    void BuildTemplate() override;
};

}  // namespace panel
