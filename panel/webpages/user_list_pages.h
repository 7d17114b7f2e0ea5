// The proxy user pages of HTTP and SOCKS: the users a proxy checks
// credentials against, from the page's own list file or, read-only, from
// the LDAP directory, as the protocol's mode page chooses.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "common/setting_value.h"
#include "panel/framework/settings_page.h"

class QTreeWidget;
class QShowEvent;
class QHideEvent;

namespace panel {

class SortDirections;

// The fields of a user, and each page's list.
inline constexpr int kUserNameEdit = 1067;
inline constexpr int kUserIdEdit = 1066;
inline constexpr int kUserPasswordLabel = 1071;
inline constexpr int kUserPasswordEdit = 1065;
inline constexpr int kHttpUserList = 1068;
inline constexpr int kSocksUserList = 1235;

struct UserListTraits {
    int listId;               // kHttpUserList / kSocksUserList
    const char* userFile;     // "http-auth.ini" / "socks-auth.ini"
    const char* previousCopy; // "http-auth-old.ini" / "socks-auth-old.ini"
    common::DwordValue typeValue;  // the user source
    int& (*sourceChoice)();   // the mode page's radios
    int& (*listSource)();     // what this page class shows
    SortDirections& (*sortDirections)();
    const common::DwordValue* onValue;  // SOCKS: the switch, saved from here too; HTTP: none
};

// One user as the list file holds it: "<id>:<password>,<name>".
struct UserRow {
    QString name;
    QString id;
    QString password;
};

// Rows of the user file (comment and empty lines passed over); empty when
// there is no file.
std::vector<UserRow> ReadUserFile(const std::string& path);
// The file's bytes for the rows: CP932, CR LF.
std::string FormatUserFile(const std::vector<UserRow>& rows);
// Why a row could not be read back as typed: the edit of the field and a
// message naming it; control 0 when the row reads back as typed.
struct RowProblem {
    int control = 0;
    QString message;
};
RowProblem CheckUserRow(const UserRow& row);

class UserListPage : public SettingsPage {
    Q_OBJECT
public:
    UserListPage(const UserListTraits& traits, int templateId, QWidget* parent);
    bool SaveSettings() override;
    void DeleteSelectedEntry() override;

    // The rows the list shows, top to bottom.
    std::vector<UserRow> Rows() const;
    void OnAddEntry();
    bool ShowsDirectory() const { return source_ != 0; }

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ReloadIfSourceChanged();
    void LoadList();
    void LoadUserList();
    void LoadLdapUserList();
    void WriteUserList();
    void AppendRow(const UserRow& row);
    void FillFieldsFromRow(int offset);
    void SortByColumn(int column);
    QTreeWidget* List() const;

    const UserListTraits& traits_;
    int source_ = 0;  // 0 own users, otherwise the directory
    QString name_ = QStringLiteral("名称");
    QString id_;
    QString password_;
    int needsAuth_ = 1;
};

class Chttp2dlg : public UserListPage {
    Q_OBJECT
public:
    explicit Chttp2dlg(int templateId = 162, QWidget* parent = nullptr);
};

class Csocks2dlg : public UserListPage {
    Q_OBJECT
public:
    explicit Csocks2dlg(int templateId = 181, QWidget* parent = nullptr);
};

}  // namespace panel
