// The POP3 section's small pages: the proxy switch, its connections, the
// admission list, the IP version and what a client receives in place of an
// infected mail.
#pragma once

#include "panel/mailpages/option_page_kinds.h"

namespace panel {

class CPop3SetDlg : public SwitchAndLogPage {
    Q_OBJECT
public:
    explicit CPop3SetDlg(int templateId = 193, QWidget* parent = nullptr);
};

class Cpop3dlg00 : public ConnectionCountPage {
    Q_OBJECT
public:
    explicit Cpop3dlg00(int templateId = 128, QWidget* parent = nullptr);
};

class Cpop3dlg1 : public ListFileButtonsPage {
    Q_OBJECT
public:
    explicit Cpop3dlg1(int templateId = 172, QWidget* parent = nullptr);
};

class Cpop3dlg10 : public RadioValuePage {
    Q_OBJECT
public:
    explicit Cpop3dlg10(int templateId = 130, QWidget* parent = nullptr);
};

class Cpop3dlg11 : public RadioValuePage {
    Q_OBJECT
public:
    explicit Cpop3dlg11(int templateId = 131, QWidget* parent = nullptr);
};

}  // namespace panel
