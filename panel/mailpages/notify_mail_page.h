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

// The switch; the server, its port and SSL; the sender; the authentication.
inline constexpr int kNotifyCheck = 1107;
inline constexpr int kNotifyServerLabel = 1081;
inline constexpr int kNotifyServerEdit = 1077;
inline constexpr int kNotifyPortLabel = 1183;
inline constexpr int kNotifyPortEdit = 1086;
inline constexpr int kNotifySslCheck = 1114;
inline constexpr int kNotifyFromLabel = 1083;
inline constexpr int kNotifyFromEdit = 1019;
inline constexpr int kNotifyFromNameLabel = 1085;
inline constexpr int kNotifyFromNameEdit = 1022;
inline constexpr int kNotifyAuthCheck = 1089;
inline constexpr int kNotifyUserLabel = 1110;
inline constexpr int kNotifyUserEdit = 1096;
inline constexpr int kNotifyPasswordLabel = 1035;
inline constexpr int kNotifyPasswordEdit = 1100;
// Who gets the mail, and the hidden copy of the group's title.
inline constexpr int kNotifyRecipientGroup = 1088;
inline constexpr int kNotifyToGivenRadio = 1103;
inline constexpr int kNotifyToSenderRadio = 1079;
inline constexpr int kNotifyToBothRadio = 1036;
inline constexpr int kNotifyToLabel = 1109;
inline constexpr int kNotifyToEdit = 1112;
inline constexpr int kNotifyHiddenLabel = 1119;
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
