// The SMTP section's small pages: the proxy switch, its connections, the
// detail page (spam refusal, admission list), the blocklist files and the
// IP version. The mail archive page is Csmtpdlg12 (mail_archive_page.h).
#pragma once

#include "panel/mailpages/option_page_kinds.h"

namespace panel {

class CSmtpSetDlg : public SwitchAndLogPage {
    Q_OBJECT
public:
    explicit CSmtpSetDlg(int templateId = 191, QWidget* parent = nullptr);
};

class Csmtpdlg00 : public ConnectionCountPage {
    Q_OBJECT
public:
    explicit Csmtpdlg00(int templateId = 121, QWidget* parent = nullptr);
};

class Csmtpdlg1 : public ListFileButtonsPage {
    Q_OBJECT
public:
    explicit Csmtpdlg1(int templateId = 171, QWidget* parent = nullptr);
};

class Csmtpdlg10 : public ListFileButtonsPage {
    Q_OBJECT
public:
    explicit Csmtpdlg10(int templateId = 122, QWidget* parent = nullptr);
};

class Csmtpdlg11 : public RadioValuePage {
    Q_OBJECT
public:
    explicit Csmtpdlg11(int templateId = 123, QWidget* parent = nullptr);
};

}  // namespace panel
