#include "panel/webpages/connection_pages.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/connect_table.h"
#include "common/list_file.h"
#include "panel/framework/address_text.h"
#include "panel/framework/cp932_text.h"
#include "panel/framework/message_box.h"
#include "panel/framework/page_parts.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/strings.h"

namespace panel {
namespace {

constexpr int kRowIdRole = Qt::UserRole;
constexpr int kRowLineRole = Qt::UserRole + 1;  // the row's line, code page 932

using Field = ConnectionPageKind::Field;

const ConnectionPageKind& HttpKind() {
    static const ConnectionPageKind kind{
        "http.ini", "http-old.ini", 139, kHttpNameEdit, kHttpListenIpEdit, kHttpListenPortEdit, kHttpSendIpEdit,
        kHttpUpstreamEdit, kHttpUpstreamPortEdit, kHttpConnectionList, kHttpSendIpLabel, "送信時IP", "上位プロキシ",
        "ポート", 8080, "", 0,
        {{"接続先名称", 120}, {"受信IP", 80}, {"受信ポート", 80}, {"送信時IP", 80}, {"上位プロキシIP", 120},
         {"上位プロキシポート", 120}},
        {Field::kHost, Field::kHostPort, Field::kListenIp, Field::kListenPort, Field::kAddress, Field::kName}};
    return kind;
}

const ConnectionPageKind& FtpKind() {
    static const ConnectionPageKind kind{
        "ftp.ini", "ftp-old.ini", 153, kFtpNameEdit, kFtpListenIpEdit, kFtpListenPortEdit, kFtpPublicIpEdit,
        kFtpServerEdit, kFtpServerPortEdit, kFtpConnectionList, kFtpPublicIpLabel, "公開IP", "接続先", "ポート", 8021,
        "xxx.xxxx.xxx.xxx", 21,
        {{"接続先名称", 120}, {"受信IP", 80}, {"受信ポート", 80}, {"公開IP", 80}, {"接続先", 120},
         {"接続先ポート", 120}},
        {Field::kHost, Field::kHostPort, Field::kName, Field::kListenIp, Field::kAddress, Field::kListenPort}};
    return kind;
}

const ConnectionPageKind& SocksKind() {
    static const ConnectionPageKind kind{
        "socks.ini", "socks-old.ini", 161, kSocksNameEdit, kSocksListenIpEdit, kSocksListenPortEdit, kSocksSendIpEdit,
        0, 0, kSocksConnectionList, kSocksSendIpLabel, "接続時IP", nullptr, nullptr, 1080, "", 0,
        {{"接続先名称", 120}, {"受信IP", 120}, {"受信ポート", 120}, {"接続時IP", 120}},
        {Field::kName, Field::kListenIp, Field::kListenPort, Field::kAddress}};
    return kind;
}

// The server port as the list shows it: the number, without the marks
// ("3128*" shows 3128); the marks stay in the row's line.
std::string ShownPort(const std::string& serverPort) {
    return serverPort.substr(0, serverPort.find_first_of("*+-"));
}

}  // namespace

ConnectionListPage::ConnectionListPage(const ConnectionPageKind& kind, int templateId, QWidget* parent)
    : SettingsPage(templateId, parent), kind_(kind), file_(kind.fileName, kind.previousCopy) {
    name_ = QString::fromUtf8("接続先名称");
    listenIp_ = QStringLiteral("127.0.0.1");
    listenPort_ = static_cast<uint32_t>(kind.defaultListenPort);
    host_ = QString::fromUtf8(kind.defaultHost);
    hostPort_ = static_cast<uint32_t>(kind.defaultHostPort);
}

void ConnectionListPage::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* group = Group(this, 0, "接続情報");
    auto* grid = new QGridLayout(group);
    int row = 0;
    auto addField = [&](const char* label, int labelId, int editId) {
        grid->addWidget(Static(group, labelId, label), row, 0);
        grid->addWidget(Edit(group, editId), row, 1);
        ++row;
    };
    addField("接続先名称", 0, kind_.nameEdit);
    addField("受信IP", 0, kind_.listenIpEdit);
    addField("受信ポート", 0, kind_.listenPortEdit);
    addField(kind_.addressLabelText, kind_.addressLabel, kind_.addressEdit);
    if (kind_.hostLabelText) {
        addField(kind_.hostLabelText, 0, kind_.hostEdit);
        addField(kind_.hostPortLabelText, 0, kind_.hostPortEdit);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button(group, kAddEntryButton, "追加"));
    grid->addLayout(buttons, row, 0, 1, 2);
    layout->addWidget(group);
    list_ = WithId(new QTreeWidget(this), kind_.listId);
    layout->addWidget(list_, 1);
    // The template has the listen-IP edit disabled (and on the HTTP page
    // the send-IP label and edit hidden); the page turns them on.
    FindControl(this, kind_.listenIpEdit)->setEnabled(false);
}

void ConnectionListPage::OnInitDialog() {
    AttachButton(this, kAddEntryButton, [this] { OnAddEntry(); });
    for (Field field : kind_.exchangeOrder) {
        switch (field) {
        case Field::kName: BindText(kind_.nameEdit, name_); break;
        case Field::kListenIp: BindText(kind_.listenIpEdit, listenIp_); break;
        case Field::kListenPort: BindNumber(kind_.listenPortEdit, listenPort_, NumberKind::Unsigned); break;
        case Field::kAddress: BindText(kind_.addressEdit, address_); break;
        case Field::kHost: BindText(kind_.hostEdit, host_); break;
        case Field::kHostPort: BindNumber(kind_.hostPortEdit, hostPort_, NumberKind::Unsigned); break;
        }
    }
    ControlsFromFields();
    FieldsFromControls();
    setWindowTitle(LoadString(kind_.titleString));
    FindControl(this, kind_.listenIpEdit)->setEnabled(true);

    SetUpConnectionList(list_, kind_.columns);
    AttachDeleteMenu(list_);
    connect(list_->header(), &QHeaderView::sectionClicked, this, [this](int column) { SortByColumn(column); });
    new ListKeys(
        list_, [this](int offset) { FillFieldsFromRow(offset); }, [this] { DeleteSelectedEntry(); },
        [this] { FillFieldsFromRow(0); });
    LoadConnectionList();
    ControlsFromFields();
}

void ConnectionListPage::AddRow(const std::string& line, bool atTop) {
    auto row = common::SplitConnectTableLine(line);
    if (!row) return;
    auto* item = new QTreeWidgetItem;
    item->setText(0, FromCp932(row->name));
    item->setText(1, FromCp932(row->listenAddress));
    item->setText(2, FromCp932(row->listenPort));
    item->setText(3, FromCp932(row->sendAddress));
    if (kind_.hostLabelText) {
        item->setText(4, FromCp932(row->server));
        item->setText(5, row->server.empty() ? QString() : FromCp932(ShownPort(row->serverPort)));
    }
    item->setData(0, kRowIdRole, ++nextRowId_);
    item->setData(0, kRowLineRole, QByteArray::fromStdString(line));
    if (atTop)
        list_->insertTopLevelItem(0, item);
    else
        list_->addTopLevelItem(item);
}

void ConnectionListPage::LoadConnectionList() {
    common::ListFileRules rules;
    rules.maxLineLength = common::kConnectTablePageLineLimit;
    // Every page shows its file in file order, so that a save writes it
    // back in that order; a line is kept with the fields the page does not
    // show and written back in the full form.
    const bool found = common::ForEachListLine(DataFolder() + file_.fileName(), rules, [this](std::string_view line) {
        auto row = common::SplitConnectTableLine(line);
        if (row) AddRow(common::FormatConnectTableLine(*row), false);
        return true;
    });
    file_.Read(found, FileBytes());
}

std::string ConnectionListPage::FileBytes() const {
    std::string bytes;
    for (int i = 0; i < list_->topLevelItemCount(); ++i)
        bytes += list_->topLevelItem(i)->data(0, kRowLineRole).toByteArray().toStdString() + "\r\n";
    return bytes;
}

bool ConnectionListPage::WriteConnectionList() { return file_.Write(FileBytes()); }

bool ConnectionListPage::SaveSettings() {
    FieldsFromControls();
    WriteConnectionList();
    ControlsFromFields();
    return true;
}

bool ConnectionListPage::CheckNewRow(const common::ConnectTableRow& row) {
    auto refuse = [this](int column, int editId, const QString& message) {
        ShowMessage(window(), message.arg(QString::fromUtf8(kind_.columns[static_cast<size_t>(column)].title)),
                    QMessageBox::Warning);
        if (QWidget* edit = FindControl(this, editId)) edit->setFocus();
        return false;
    };
    const QString badPort = PortRangeMessage();
    const QString badText = QString::fromUtf8("「%1」の値は一覧に書くと別の値として読まれるため登録できません。");
    // Port 0 would have the system pick the listen port, or connect to none.
    auto outOfRange = [](uint32_t port) { return port < 1 || port > 65535; };
    if (outOfRange(listenPort_)) return refuse(2, kind_.listenPortEdit, badPort);
    if (kind_.hostLabelText && !host_.isEmpty() && outOfRange(hostPort_))
        return refuse(5, kind_.hostPortEdit, badPort);
    struct Text {
        const QString& text;
        int column, editId;
        bool address;
    } texts[] = {{name_, 0, kind_.nameEdit, false},
                 {listenIp_, 1, kind_.listenIpEdit, true},
                 {address_, 3, kind_.addressEdit, true},
                 {host_, 4, kind_.hostEdit, true}};
    for (const Text& t : texts) {
        if (t.column == 4 && !kind_.hostLabelText) continue;
        if (!FitsCp932(t.text)) return refuse(t.column, t.editId, badText);
        // The listen address is needed; the others may be left empty.
        if (t.address && (t.column == 1 || !t.text.isEmpty()) && !IsAddressOrHostName(t.text))
            return refuse(t.column, t.editId, NotAnAddressMessage());
    }
    switch (common::RowReadsBack(row)) {
    case common::ConnectTableField::kNone: return true;
    case common::ConnectTableField::kListenAddress: return refuse(1, kind_.listenIpEdit, badText);
    case common::ConnectTableField::kListenPort: return refuse(2, kind_.listenPortEdit, badPort);
    case common::ConnectTableField::kSendAddress: return refuse(3, kind_.addressEdit, badText);
    case common::ConnectTableField::kServer: return refuse(4, kind_.hostEdit, badText);
    case common::ConnectTableField::kServerPort: return refuse(5, kind_.hostPortEdit, badPort);
    default: return refuse(0, kind_.nameEdit, badText);
    }
}

void ConnectionListPage::OnAddEntry() {
    // A field that did not pass adds nothing: the row would carry the value
    // held before it, not the one shown.
    if (!FieldsFromControls()) return;
    common::ConnectTableRow row;
    row.name = ToCp932(name_);
    row.listenAddress = ToCp932(listenIp_);
    row.listenPort = std::to_string(listenPort_);
    row.sendAddress = ToCp932(address_);
    if (kind_.hostLabelText) {
        row.server = ToCp932(host_);
        if (!host_.isEmpty()) row.serverPort = std::to_string(hostPort_);
    }
    if (!CheckNewRow(row)) return;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        if (item->text(1) == listenIp_ && item->text(2).toUInt() == listenPort_) {
            ShowMessage(window(), LoadString(173), QMessageBox::Warning);
            return;
        }
    }
    AddRow(common::FormatConnectTableLine(row), true);
    ControlsFromFields();
}

void ConnectionListPage::FillFieldsFromRow(int offset) {
    FieldsFromControls();
    int index = RowAtOffset(list_, offset);
    QTreeWidgetItem* item = index >= 0 ? list_->topLevelItem(index) : nullptr;
    auto text = [item](int column) { return item ? item->text(column) : QString(); };
    name_ = text(0);
    listenIp_ = text(1);
    listenPort_ = text(2).toUInt();
    address_ = text(3);
    if (kind_.hostLabelText) {
        host_ = text(4);
        hostPort_ = text(5).toUInt();
    }
    UpdateFieldStates();
    ControlsFromFields();
}

void ConnectionListPage::RemoveRows() {
    FieldsFromControls();
    RemoveSelectedRows(list_);
    ControlsFromFields();
}

void ConnectionListPage::DeleteSelectedEntry() { RemoveRows(); }

void ConnectionListPage::SortByColumn(int column) {
    SortListByColumn(list_, column, Directions().Toggle(column));
}

// --- HTTP --------------------------------------------------------------------

Chttp1dlg::Chttp1dlg(int templateId, QWidget* parent) : ConnectionListPage(HttpKind(), templateId, parent) {}

SortDirections& Chttp1dlg::Directions() {
    static SortDirections directions;
    return directions;
}

void Chttp1dlg::OnInitDialog() {
    ConnectionListPage::OnInitDialog();
    UpdateFieldStates();
    connect(Control<QLineEdit>(this, kHttpUpstreamEdit), &QLineEdit::textChanged, this,
            [this] { UpdateUpstreamPortState(); });
}

void Chttp1dlg::UpdateFieldStates() { EnableIds(this, {kHttpUpstreamPortEdit}, !host_.isEmpty()); }

// Runs at every keystroke in the upstream-proxy edit: only that edit is
// read, so a half-typed port elsewhere brings up no message and the text
// being typed is not set again under the cursor.
void Chttp1dlg::UpdateUpstreamPortState() {
    host_ = Control<QLineEdit>(this, kHttpUpstreamEdit)->text();
    UpdateFieldStates();
}

// --- FTP ---------------------------------------------------------------------

Cftpdlg::Cftpdlg(int templateId, QWidget* parent) : ConnectionListPage(FtpKind(), templateId, parent) {}

SortDirections& Cftpdlg::Directions() {
    static SortDirections directions;
    return directions;
}

// --- SOCKS -------------------------------------------------------------------

Csocksdlg::Csocksdlg(int templateId, QWidget* parent) : ConnectionListPage(SocksKind(), templateId, parent) {}

SortDirections& Csocksdlg::Directions() {
    static SortDirections directions;
    return directions;
}

}  // namespace panel
