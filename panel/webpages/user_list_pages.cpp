#include "panel/webpages/user_list_pages.h"

#include <QApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/proxy_values.h"
#include "common/list_file.h"
#include "common/publish_file.h"
#include "panel/framework/connection_list_view.h"
#include "panel/framework/cp932_text.h"
#include "panel/framework/message_box.h"
#include "panel/framework/page_parts.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/registry_ops.h"
#include "panel/webpages/auth_mode_pages.h"
#include "panel/webpages/auth_sources.h"
#include "panel/webpages/ldap_directory.h"

namespace panel {
namespace {

const char kHiddenPassword[] = "***************";

// The user files hold passwords in plain text: administrators only.
constexpr unsigned kUserFileMode = 0660;

SortDirections& HttpSortDirections() {
    static SortDirections directions;
    return directions;
}
SortDirections& SocksSortDirections() {
    static SortDirections directions;
    return directions;
}

const UserListTraits kHttpUsers = {kHttpUserList,       "http-auth.ini",      "http-auth-old.ini",
                                   common::http_value::kAuthType, HttpUserSourceChoice, HttpUserListSource,
                                   HttpSortDirections,  nullptr};
const UserListTraits kSocksUsers = {kSocksUserList,       "socks-auth.ini",      "socks-auth-old.ini",
                                    common::socks_value::kAuthType, SocksUserSourceChoice, SocksUserListSource,
                                    SocksSortDirections,  &common::socks_value::kAuth};

bool HasControlCharacter(const QString& text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return true;
    return false;
}

}  // namespace

std::vector<UserRow> ReadUserFile(const std::string& path) {
    std::vector<UserRow> rows;
    common::ListFileRules rules;
    rules.maxLineLength = 2047;
    common::ForEachListLine(path, rules, [&](std::string_view line) {
        UserRow row;
        size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            // No password part: the whole line is the ID.
            row.id = FromCp932(line);
        } else {
            row.id = FromCp932(line.substr(0, colon));
            std::string_view rest = line.substr(colon + 1);
            size_t comma = rest.find(',');
            row.password = FromCp932(rest.substr(0, comma));
            if (comma != std::string_view::npos) row.name = FromCp932(rest.substr(comma + 1));
        }
        rows.push_back(std::move(row));
        return true;
    });
    return rows;
}

std::string FormatUserFile(const std::vector<UserRow>& rows) {
    std::string bytes;
    for (const UserRow& row : rows) bytes += ToCp932(row.id) + ":" + ToCp932(row.password) + "," + ToCp932(row.name) + "\r\n";
    return bytes;
}

RowProblem CheckUserRow(const UserRow& row) {
    // An empty ID and password is what a browser sends when its user presses
    // OK on an empty login prompt: such a row would let anyone through.
    if (row.id.isEmpty()) return {kUserIdEdit, QString::fromUtf8("接続ＩＤを入力してください。")};
    if (row.password.isEmpty()) return {kUserPasswordEdit, QString::fromUtf8("パスワードを入力してください。")};
    // The engine checks "<id>:<password>" up to the first ","; the list
    // reader splits at the first ":"; a line beginning with a blank or a
    // quote is a comment to both.
    if (row.id.contains(u':') || row.id.contains(u',') || HasControlCharacter(row.id) ||
        row.id.startsWith(u' ') || row.id.startsWith(u'\'') || row.id.startsWith(u'"') || !FitsCp932(row.id))
        return {kUserIdEdit, QString::fromUtf8(
                          "接続ＩＤには、「:」「,」と制御文字を含まない、空白や引用符で始まらない文字列を入力してください。")};
    if (row.password.contains(u',') || HasControlCharacter(row.password) || !FitsCp932(row.password))
        return {kUserPasswordEdit, QString::fromUtf8("パスワードには、「,」と制御文字を含まない文字列を入力してください。")};
    if (HasControlCharacter(row.name) || !FitsCp932(row.name))
        return {kUserNameEdit, QString::fromUtf8("名称には、制御文字を含まない文字列を入力してください。")};
    return {};
}

UserListPage::UserListPage(const UserListTraits& traits, int templateId, QWidget* parent)
    : SettingsPage(templateId, parent), traits_(traits) {}

QTreeWidget* UserListPage::List() const { return Control<QTreeWidget>(const_cast<UserListPage*>(this), traits_.listId); }

void UserListPage::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* group = Group(this, 0, "認証情報");
    auto* grid = new QGridLayout(group);
    grid->addWidget(Static(group, 0, "名　　称"), 0, 0);
    grid->addWidget(Edit(group, kUserNameEdit), 0, 1);
    grid->addWidget(Static(group, 0, "接続ＩＤ"), 1, 0);
    grid->addWidget(Edit(group, kUserIdEdit), 1, 1);
    grid->addWidget(Static(group, kUserPasswordLabel, "パスワード"), 2, 0);
    auto* password = PasswordEdit(group, kUserPasswordEdit);
    grid->addWidget(password, 2, 1);
    layout->addWidget(group);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* remove = Button(this, kDeleteEntryButton, "削除");
    remove->hide();
    buttons->addWidget(remove);
    buttons->addWidget(Button(this, kAddEntryButton, "追加"));
    layout->addLayout(buttons);
    auto* list = WithId(new QTreeWidget(this), traits_.listId);
    layout->addWidget(list, 1);
    auto* box = CheckBox(this, kAuthRequiredCheck, "接続には認証が必要。");
    box->hide();
    box->setEnabled(false);
}

void UserListPage::OnInitDialog() {
    AttachButton(this, kAddEntryButton, [this] { OnAddEntry(); });
    AttachButton(this, kDeleteEntryButton, [this] { DeleteSelectedEntry(); });
    QTreeWidget* list = List();
    SetUpConnectionList(list, {{"名　称", 120}, {"接続ID", 80}, {"パスワード", 80}, {"", 0}});
    AttachDeleteMenu(list);
    connect(list->header(), &QHeaderView::sectionClicked, this, [this](int column) { SortByColumn(column); });
    new ListKeys(
        list, [this](int offset) { FillFieldsFromRow(offset); }, [this] { DeleteSelectedEntry(); },
        [this] { FillFieldsFromRow(0); });
    BindText(kUserNameEdit, name_);
    BindText(kUserIdEdit, id_);
    BindText(kUserPasswordEdit, password_);
    BindCheck(kAuthRequiredCheck, needsAuth_);

    source_ = static_cast<int>(RegReadDword(kProductSettingsKey, traits_.typeValue.name, traits_.typeValue.byDefault));
    traits_.listSource() = source_;
    LoadList();
    ControlsFromFields();
}

void UserListPage::LoadList() {
    const bool own = source_ == 0;
    EnableIds(this, {kAddEntryButton, kDeleteEntryButton, kUserNameEdit, kUserIdEdit, kUserPasswordEdit}, own);
    // Directory users are read-only: no delete menu on them.
    List()->setContextMenuPolicy(own ? Qt::CustomContextMenu : Qt::NoContextMenu);
    if (own) {
        LoadUserList();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    LoadLdapUserList();
    QApplication::restoreOverrideCursor();
}

void UserListPage::LoadUserList() {
    for (const UserRow& row : ReadUserFile(DataFolder() + traits_.userFile)) AppendRow(row);
}

void UserListPage::LoadLdapUserList() {
    // The first load may come before the LDAP page has read its file.
    EnsureSharedLdapSettings();
    for (const DirectoryUser& user : LoadDirectoryUsers(SharedLdapSettings()))
        AppendRow({user.name, user.id, user.password});
}

void UserListPage::AppendRow(const UserRow& row) {
    auto* item = new QTreeWidgetItem(QStringList{row.name, row.id, QString::fromUtf8(kHiddenPassword), row.password});
    List()->addTopLevelItem(item);
}

std::vector<UserRow> UserListPage::Rows() const {
    std::vector<UserRow> rows;
    QTreeWidget* list = List();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        rows.push_back({item->text(0), item->text(1), item->text(3)});
    }
    return rows;
}

void UserListPage::OnAddEntry() {
    if (source_ != 0 || !FieldsFromControls()) return;
    UserRow row{name_, id_, password_};
    RowProblem problem = CheckUserRow(row);
    // The engine tries every line, so a second row with an ID already
    // listed would leave two passwords that both let its user in.
    for (const UserRow& listed : Rows())
        if (!problem.control && listed.id == row.id)
            problem = {kUserIdEdit, QString::fromUtf8("接続ＩＤ「%1」は既に登録されています。").arg(row.id)};
    if (problem.control) {
        ShowMessage(window(), problem.message, QMessageBox::Warning);
        if (QWidget* field = FindControl(this, problem.control)) field->setFocus();
        return;
    }
    AppendRow(row);
}

void UserListPage::DeleteSelectedEntry() {
    if (source_ != 0) return;
    FieldsFromControls();
    RemoveSelectedRows(List());
}

void UserListPage::FillFieldsFromRow(int offset) {
    FieldsFromControls();
    int row = RowAtOffset(List(), offset);
    if (row < 0) {
        name_.clear();
        id_.clear();
        password_.clear();
    } else {
        QTreeWidgetItem* item = List()->topLevelItem(row);
        name_ = item->text(0);
        id_ = item->text(1);
        password_ = item->text(3);
    }
    ControlsFromFields();
}

void UserListPage::SortByColumn(int column) {
    int direction = traits_.sortDirections().Toggle(column);
    SortListByColumn(List(), column, direction);
}

void UserListPage::ReloadIfSourceChanged() {
    if (traits_.sourceChoice() == traits_.listSource() && !LdapSettingsChanged()) return;
    LdapSettingsChanged() = false;
    List()->clear();
    traits_.listSource() = traits_.sourceChoice();
    source_ = traits_.listSource();
    LoadList();
}

void UserListPage::showEvent(QShowEvent* event) {
    SettingsPage::showEvent(event);
    if (!event->spontaneous()) ReloadIfSourceChanged();
}

void UserListPage::hideEvent(QHideEvent* event) {
    SettingsPage::hideEvent(event);
    if (!event->spontaneous()) ReloadIfSourceChanged();
}

void UserListPage::WriteUserList() {
    const std::string folder = DataFolder();
    const std::string userFile = folder + traits_.userFile;
    common::PublishFile(userFile, FormatUserFile(Rows()), folder + traits_.previousCopy, kUserFileMode);
    // The copy holds whichever user file was written last, also when this
    // write failed.
    std::string bytes;
    if (common::ReadWholeFile(userFile, bytes)) common::PublishFile(folder + "dummy-domain.idx", bytes, {}, kUserFileMode);
}

bool UserListPage::SaveSettings() {
    if (!FieldsFromControls()) return false;
    if (traits_.onValue) WriteDword(traits_.onValue->name, static_cast<uint32_t>(needsAuth_));
    if (source_ == 0) WriteUserList();
    ControlsFromFields();
    return true;
}

Chttp2dlg::Chttp2dlg(int templateId, QWidget* parent) : UserListPage(kHttpUsers, templateId, parent) {}
Csocks2dlg::Csocks2dlg(int templateId, QWidget* parent) : UserListPage(kSocksUsers, templateId, parent) {}

}  // namespace panel
