// The notification mail page: the SMTP server, sender and authentication
// the mail sender uses, kept in the product key and written for the mail
// sender as "sendmail.ini" in the program folder.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "panel/framework/settings_page.h"

namespace panel {

struct NotifySettings {
    int send = 0;
    QString server;
    int port = 25;
    QString from;
    int ssl = 0;
    QString fromName;
    int auth = 0;
    QString id;
    QString password;
    int sendAddr = 0;
    QString to;
};

// The twelve lines of "sendmail.ini": CP932, CR LF.
std::string FormatSendmailIni(const NotifySettings& settings);

class CSendDlg : public SettingsPage {
    Q_OBJECT
public:
    explicit CSendDlg(int templateId = 132, QWidget* parent = nullptr);
    bool SaveSettings() override;

    void OnNotifyBoxChanged();
    void OnAuthBoxChanged();
    void OnRecipientModeChanged();

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    NotifySettings values_;
    int modeTicked_ = -1;  // the ticked recipient button, -1 for none
};

}  // namespace panel
