// The connection-list pages of the SMTP and POP3 proxies: the entry fields
// of one connection (listen address and port, TLS or STARTTLS towards the
// client with its certificate and key, the address connected from, the
// destination with its own TLS, STARTTLS or tunnel) above the list of the
// protocol's connections, which is its connection file in the data folder.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "panel/framework/settings_page.h"
#include "panel/framework/shown_list_file.h"
#include "panel/mailpages/mail_connection_lines.h"

class QTreeWidget;

namespace panel {

class ColorButton;
class SortDirections;

// Controls both pages give the same ids: the tunnel box, the certificate
// and the private key.
inline constexpr int kMailTunnelCheck = 1248;
inline constexpr int kMailCertificateLabel = 1250;
inline constexpr int kMailCertificateEdit = 1244;
inline constexpr int kMailCertificateBrowse = 1245;
inline constexpr int kMailKeyLabel = 1251;
inline constexpr int kMailKeyEdit = 1246;
inline constexpr int kMailKeyBrowse = 1247;

class MailConnectionPage : public SettingsPage {
    Q_OBJECT
public:
    // What differs between the SMTP and the POP3 page.
    struct Shape {
        int titleString;
        int listId;
        const char* fileName;
        const char* previousCopy;
        int nameEdit, listenIpEdit, listenPortEdit, clientTlsBox, clientStartTlsBox;
        int hostEdit, hostPortEdit, serverTlsBox, serverStartTlsBox, sendIpEdit, sendIpLabel;
        int listenPortDefault, hostPortDefault;
        SortDirections* directions;  // the page class's, for the life of the program
    };
    MailConnectionPage(int templateId, QWidget* parent, Shape shape);

    // Writes the list when it differs from what the file gave.
    bool SaveSettings() override;
    // The entry fields are not stored: nothing here stops the save.
    bool CheckSettings() override { return true; }
    void DeleteSelectedEntry() override;

    void OnAddEntry();
    void FillFieldsFromRow(int offset);
    void EnableCertificateControls();
    void OnClientBox();
    void OnServerBox();
    void OnTunnel();
    void OnBrowseCertificate();
    void OnBrowseKey();
    void SortByColumn(int column);

    QTreeWidget* list() const { return list_; }
    // Replaces the open-file dialog (tests): gets the title, gives the
    // chosen path or an empty text for Cancel.
    std::function<QString(const QString& title)> runFilePicker;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    void LoadConnectionList();
    bool WriteConnectionList();
    // The fields from the controls in their order of taking; false at a
    // port that does not pass (its message shown, the fields after it kept).
    bool TakeFields();
    void ShowFields();
    bool TakePort(int editId, int& field);
    void ApplyEnablingRules();
    ConnectionRow EntryRow() const;
    void Refuse(ConnectionColumn column, const QString& message);
    void Browse(int titleString, ConnectionColumn column, QString& field);
    std::string FileBytes() const;

    Shape shape_;
    QTreeWidget* list_ = nullptr;
    ColorButton* addButton_ = nullptr;
    ColorButton* deleteButton_ = nullptr;
    ColorButton* certificateBrowse_ = nullptr;
    ColorButton* keyBrowse_ = nullptr;
    ShownListFile file_;

    QString name_;
    int tunnel_ = 0;
    QString listenIp_;
    int listenPort_ = 0;
    int clientTls_ = 0;
    int clientStartTls_ = 0;
    QString certificate_;
    QString privateKey_;
    QString host_;
    int hostPort_ = 0;
    int serverTls_ = 0;
    int serverStartTls_ = 0;
    QString sendIp_;
};

// The SMTP page's own controls.
inline constexpr int kSmtpConnectionList = 1037;
inline constexpr int kSmtpNameEdit = 1046;
inline constexpr int kSmtpListenIpEdit = 1043;
inline constexpr int kSmtpListenPortEdit = 1098;
inline constexpr int kSmtpClientTlsCheck = 1099;
inline constexpr int kSmtpClientStartTlsCheck = 1252;
inline constexpr int kSmtpServerEdit = 1015;
inline constexpr int kSmtpServerPortEdit = 1025;
inline constexpr int kSmtpServerTlsCheck = 1097;
inline constexpr int kSmtpServerStartTlsCheck = 1254;
inline constexpr int kSmtpSendIpEdit = 1045;
inline constexpr int kSmtpSendIpLabel = 1072;
class Csmtpdlg : public MailConnectionPage {
    Q_OBJECT
public:
    explicit Csmtpdlg(int templateId = 138, QWidget* parent = nullptr);
};

// The POP3 page's own controls.
inline constexpr int kPop3ConnectionList = 1038;
inline constexpr int kPop3NameEdit = 1047;
inline constexpr int kPop3ListenIpEdit = 1039;
inline constexpr int kPop3ListenPortEdit = 1105;
inline constexpr int kPop3ClientTlsCheck = 1249;
inline constexpr int kPop3ClientStartTlsCheck = 1253;
inline constexpr int kPop3ServerEdit = 1027;
inline constexpr int kPop3ServerPortEdit = 1029;
inline constexpr int kPop3ServerTlsCheck = 1095;
inline constexpr int kPop3ServerStartTlsCheck = 1255;
inline constexpr int kPop3SendIpEdit = 1017;
inline constexpr int kPop3SendIpLabel = 1073;
class Cpop3dlg : public MailConnectionPage {
    Q_OBJECT
public:
    explicit Cpop3dlg(int templateId = 139, QWidget* parent = nullptr);
};

// A port field's number: leading blanks skipped, a sign allowed, text
// after the digits ignored. Empty when the text does not begin with a
// number.
std::optional<long long> LeadingNumber(const QString& text);

}  // namespace panel
