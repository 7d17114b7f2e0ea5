// The SMTP section's small pages: the proxy switch, its connections, the
// detail page (spam refusal, admission list), the blocklist files and the
// IP version. The mail archive page is Csmtpdlg12 (mail_archive_page.h).
#pragma once

#include "panel/framework/switch_and_log_page.h"
#include "panel/framework/value_page.h"

namespace panel {

inline constexpr int kSmtpOnCheck = 1003;
inline constexpr int kSmtpLogCheck = 1026;
class CSmtpSetDlg : public SwitchAndLogPage {
    Q_OBJECT
public:
    explicit CSmtpSetDlg(int templateId = 191, QWidget* parent = nullptr);
};

inline constexpr int kSmtpConnectionsLabel = 1124;
inline constexpr int kSmtpConnectionsEdit = 1125;
class Csmtpdlg00 : public ValuePage {
    Q_OBJECT
public:
    explicit Csmtpdlg00(int templateId = 121, QWidget* parent = nullptr);

protected:
    void BuildTemplate() override;
};

inline constexpr int kSmtpSpamRejectCheck = 1306;
inline constexpr int kSmtpConnectListButton = 1136;
class Csmtpdlg1 : public ValuePage {
    Q_OBJECT
public:
    explicit Csmtpdlg1(int templateId = 171, QWidget* parent = nullptr);

protected:
    void BuildTemplate() override;
};

inline constexpr int kSmtpBlocklistSourcesButton = 1137;
inline constexpr int kSmtpBlocklistWhiteListButton = 1138;
class Csmtpdlg10 : public ValuePage {
    Q_OBJECT
public:
    explicit Csmtpdlg10(int templateId = 122, QWidget* parent = nullptr);

protected:
    void BuildTemplate() override;
};

// The IP version group: kIpv4OnlyRadio, kIpv6OnlyRadio, kIpBothRadio.
class Csmtpdlg11 : public ValuePage {
    Q_OBJECT
public:
    explicit Csmtpdlg11(int templateId = 123, QWidget* parent = nullptr);

protected:
    void BuildTemplate() override;
};

}  // namespace panel
