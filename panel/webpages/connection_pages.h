// The connection-list pages of the HTTP, FTP and SOCKS proxies: each shows
// its protocol's connection list (http.ini, ftp.ini, socks.ini) as rows,
// adds rows from its edit fields, fills the fields from a row, deletes and
// sorts rows, and writes the list back when the settings are saved.
#pragma once

#include <QString>
#include <vector>

#include "common/connect_table.h"
#include "panel/framework/connection_list_view.h"
#include "panel/framework/settings_page.h"
#include "panel/framework/shown_list_file.h"

class QTreeWidget;

namespace panel {

// What differs between the three pages.
struct ConnectionPageKind {
    const char* fileName;
    const char* previousCopy;
    int titleString;
    int nameEdit, listenIpEdit, listenPortEdit, addressEdit, hostEdit, hostPortEdit, listId;
    int addressLabel;
    const char* addressLabelText;
    const char* hostLabelText;      // null: no host fields
    const char* hostPortLabelText;
    int defaultListenPort;
    const char* defaultHost;
    int defaultHostPort;
    std::vector<ListColumn> columns;
    // The fields in the order the page exchanges them with its controls.
    enum Field { kName, kListenIp, kListenPort, kAddress, kHost, kHostPort };
    std::vector<Field> exchangeOrder;
};

class ConnectionListPage : public SettingsPage {
    Q_OBJECT
public:
    bool SaveSettings() override;
    // The entry fields are not stored: nothing here stops the save.
    bool CheckSettings() override { return true; }
    void DeleteSelectedEntry() override;

    // The add button.
    void OnAddEntry();
    // The fields show the row at the selection mark plus `offset`.
    void FillFieldsFromRow(int offset);
    // Header click.
    void SortByColumn(int column);
    // The list to the file; false when it could not be written.
    bool WriteConnectionList();

    QTreeWidget* List() const { return list_; }

protected:
    ConnectionListPage(const ConnectionPageKind& kind, int templateId, QWidget* parent);
    void BuildTemplate() override;
    void OnInitDialog() override;
    virtual SortDirections& Directions() = 0;
    // Row selected or fields changed: pages that enable controls by the
    // fields do it here.
    virtual void UpdateFieldStates() {}

    const ConnectionPageKind& kind_;
    QString name_, listenIp_, address_, host_;
    uint32_t listenPort_ = 0, hostPort_ = 0;

private:
    void LoadConnectionList();
    void AddRow(const std::string& line, bool atTop);
    // The bytes of the file for the rows in list order.
    std::string FileBytes() const;
    // The field a typed row does not fit, shown in a message; false then.
    bool CheckNewRow(const common::ConnectTableRow& row);
    void RemoveRows();

    QTreeWidget* list_ = nullptr;
    ShownListFile file_;
    int nextRowId_ = 0;
};

// The HTTP page: its fields, the send-IP label and the list.
inline constexpr int kHttpNameEdit = 1058;
inline constexpr int kHttpListenIpEdit = 1059;
inline constexpr int kHttpListenPortEdit = 1060;
inline constexpr int kHttpSendIpLabel = 1115;
inline constexpr int kHttpSendIpEdit = 1063;
inline constexpr int kHttpUpstreamEdit = 1061;
inline constexpr int kHttpUpstreamPortEdit = 1062;
inline constexpr int kHttpConnectionList = 1064;
class Chttp1dlg : public ConnectionListPage {
    Q_OBJECT
public:
    explicit Chttp1dlg(int templateId = 161, QWidget* parent = nullptr);
    // A change of the upstream proxy edit.
    void UpdateUpstreamPortState();

protected:
    void OnInitDialog() override;
    SortDirections& Directions() override;
    void UpdateFieldStates() override;
};

// The FTP page: its fields, the public-IP label and the list.
inline constexpr int kFtpNameEdit = 1197;
inline constexpr int kFtpListenIpEdit = 1198;
inline constexpr int kFtpListenPortEdit = 1200;
inline constexpr int kFtpPublicIpLabel = 1203;
inline constexpr int kFtpPublicIpEdit = 1204;
inline constexpr int kFtpServerEdit = 1201;
inline constexpr int kFtpServerPortEdit = 1202;
inline constexpr int kFtpConnectionList = 1205;
class Cftpdlg : public ConnectionListPage {
    Q_OBJECT
public:
    explicit Cftpdlg(int templateId = 176, QWidget* parent = nullptr);

protected:
    SortDirections& Directions() override;
};

// The SOCKS page: its fields, the send-IP label and the list.
inline constexpr int kSocksNameEdit = 1221;
inline constexpr int kSocksListenIpEdit = 1222;
inline constexpr int kSocksListenPortEdit = 1224;
inline constexpr int kSocksSendIpLabel = 1072;
inline constexpr int kSocksSendIpEdit = 1238;
inline constexpr int kSocksConnectionList = 1230;
class Csocksdlg : public ConnectionListPage {
    Q_OBJECT
public:
    explicit Csocksdlg(int templateId = 178, QWidget* parent = nullptr);

protected:
    SortDirections& Directions() override;
};

}  // namespace panel
