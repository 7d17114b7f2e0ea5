#include "panel/mailpages/mail_connection_page.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/list_file.h"
#include "panel/framework/address_text.h"
#include "panel/framework/connection_list_view.h"
#include "panel/framework/message_box.h"
#include "panel/framework/page_parts.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/strings.h"

namespace panel {
namespace {

// The most one line of the file is read as: lines are taken whole.
constexpr size_t kWholeLine = size_t{1} << 20;

const std::vector<ListColumn>& Columns() {
    static const std::vector<ListColumn> columns = {
        {"接続先名称", 120}, {"受信IP", 80},       {"受信ポート", 50},     {"接続元暗号", 50},
        {"接続元STARTTLS", 50}, {"証明書", 50},     {"秘密鍵", 80},         {"接続時IP", 80},
        {"接続先", 50},      {"接続先ポート", 50}, {"接続先暗号", 50},     {"接続先STARTTLS", 50},
        {"トンネル", 50},
    };
    return columns;
}


// A value the connection file cannot carry as typed.
QString CannotCarry(ConnectionColumn column) {
    if (column == kCertificate || column == kPrivateKey)
        return QString::fromUtf8("「%1」には、'='、タブ、改行を含まない 260 文字までのパスを指定してください。");
    return QString::fromUtf8("「%1」の値は接続情報に書くと別の値として読まれるため登録できません。");
}

SortDirections& SmtpDirections() {
    static SortDirections directions;
    return directions;
}
SortDirections& Pop3Directions() {
    static SortDirections directions;
    return directions;
}

}  // namespace

std::optional<long long> LeadingNumber(const QString& text) {
    int at = 0;
    while (at < text.size() && (text[at] == u' ' || text[at] == u'\t')) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == u'-' || text[at] == u'+')) negative = text[at++] == u'-';
    int digits = 0;
    long long value = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at, ++digits)
        if (value <= 0xFFFFFFFFLL) value = value * 10 + (text[at].unicode() - u'0');
    if (digits == 0) return std::nullopt;
    return negative ? -value : value;
}

MailConnectionPage::MailConnectionPage(int templateId, QWidget* parent, Shape shape)
    : SettingsPage(templateId, parent), shape_(shape), file_(shape.fileName, shape.previousCopy) {
    name_ = QString::fromUtf8("接続先名称");
    listenIp_ = QStringLiteral("127.0.0.1");
    listenPort_ = shape_.listenPortDefault;
    host_ = QStringLiteral("xxx.xxxx.xxx.xxx");
    hostPort_ = shape_.hostPortDefault;
}

Csmtpdlg::Csmtpdlg(int templateId, QWidget* parent)
    : MailConnectionPage(templateId, parent,
                         {146, kSmtpConnectionList, "smtp.ini", "smtp-old.ini", kSmtpNameEdit, kSmtpListenIpEdit,
                          kSmtpListenPortEdit, kSmtpClientTlsCheck, kSmtpClientStartTlsCheck, kSmtpServerEdit,
                          kSmtpServerPortEdit, kSmtpServerTlsCheck, kSmtpServerStartTlsCheck, kSmtpSendIpEdit,
                          kSmtpSendIpLabel, 8025, 25, &SmtpDirections()}) {}

Cpop3dlg::Cpop3dlg(int templateId, QWidget* parent)
    : MailConnectionPage(templateId, parent,
                         {144, kPop3ConnectionList, "pop3.ini", "pop3-old.ini", kPop3NameEdit, kPop3ListenIpEdit,
                          kPop3ListenPortEdit, kPop3ClientTlsCheck, kPop3ClientStartTlsCheck, kPop3ServerEdit,
                          kPop3ServerPortEdit, kPop3ServerTlsCheck, kPop3ServerStartTlsCheck, kPop3SendIpEdit,
                          kPop3SendIpLabel, 8110, 110, &Pop3Directions()}) {}

void MailConnectionPage::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* group = Group(this, 0, "接続情報");
    auto* grid = new QGridLayout(group);
    auto port = [this](int id) {
        QLineEdit* edit = Edit(this, id);
        edit->setMaximumWidth(70);
        return edit;
    };
    grid->addWidget(Static(this, 0, "接続先名称"), 0, 0);
    grid->addWidget(Edit(this, shape_.nameEdit), 0, 1);
    grid->addWidget(CheckBox(this, kMailTunnelCheck, "トンネル"), 0, 2, 1, 2);
    grid->addWidget(Static(this, 0, "受信IP"), 1, 0);
    grid->addWidget(Edit(this, shape_.listenIpEdit), 1, 1);
    grid->addWidget(Static(this, 0, "ポート"), 1, 2);
    grid->addWidget(port(shape_.listenPortEdit), 1, 3);
    grid->addWidget(CheckBox(this, shape_.clientTlsBox, "接続元との通信に暗号化を行う。"), 2, 1);
    grid->addWidget(CheckBox(this, shape_.clientStartTlsBox, "STARTTLS"), 2, 2, 1, 2);
    grid->addWidget(Static(this, kMailCertificateLabel, "証明書"), 3, 0);
    grid->addWidget(Edit(this, kMailCertificateEdit), 3, 1, 1, 2);
    grid->addWidget(Button(this, kMailCertificateBrowse, "参照"), 3, 3);
    grid->addWidget(Static(this, kMailKeyLabel, "秘密鍵"), 4, 0);
    grid->addWidget(Edit(this, kMailKeyEdit), 4, 1, 1, 2);
    grid->addWidget(Button(this, kMailKeyBrowse, "参照"), 4, 3);
    grid->addWidget(Static(this, shape_.sendIpLabel, "接続時IP"), 5, 0);
    grid->addWidget(Edit(this, shape_.sendIpEdit), 5, 1);
    grid->addWidget(Static(this, 0, "接続先"), 6, 0);
    grid->addWidget(Edit(this, shape_.hostEdit), 6, 1);
    grid->addWidget(Static(this, 0, "ポート"), 6, 2);
    grid->addWidget(port(shape_.hostPortEdit), 6, 3);
    grid->addWidget(CheckBox(this, shape_.serverTlsBox, "接続先との通信に暗号化を行う。"), 7, 1);
    grid->addWidget(CheckBox(this, shape_.serverStartTlsBox, "STARTTLS"), 7, 2, 1, 2);
    layout->addWidget(group);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* remove = Button(this, kDeleteEntryButton, "削除");
    remove->hide();  // the template's, never shown: rows go by the menu and the Delete key
    buttons->addWidget(remove);
    buttons->addWidget(Button(this, kAddEntryButton, "追加"));
    layout->addLayout(buttons);
    list_ = WithId(new QTreeWidget(this), shape_.listId);
    layout->addWidget(list_, 1);

    for (int id : {shape_.clientTlsBox, shape_.clientStartTlsBox})
        connect(Control<QCheckBox>(this, id), &QCheckBox::clicked, this, [this] { OnClientBox(); });
    for (int id : {shape_.serverTlsBox, shape_.serverStartTlsBox})
        connect(Control<QCheckBox>(this, id), &QCheckBox::clicked, this, [this] { OnServerBox(); });
    connect(Control<QCheckBox>(this, kMailTunnelCheck), &QCheckBox::clicked, this, [this] { OnTunnel(); });
}

void MailConnectionPage::OnInitDialog() {
    AttachButton(certificateBrowse_, kMailCertificateBrowse, this, [this] { OnBrowseCertificate(); });
    AttachButton(keyBrowse_, kMailKeyBrowse, this, [this] { OnBrowseKey(); });
    AttachButton(deleteButton_, kDeleteEntryButton, this, [this] { DeleteSelectedEntry(); });
    AttachButton(addButton_, kAddEntryButton, this, [this] { OnAddEntry(); });
    ShowFields();
    TakeFields();
    setWindowTitle(LoadString(shape_.titleString));
    FindControl(this, shape_.listenIpEdit)->setEnabled(true);
    EnableCertificateControls();

    SetUpConnectionList(list_, Columns());
    AttachDeleteMenu(list_);
    connect(list_->header(), &QHeaderView::sectionClicked, this, [this](int column) { SortByColumn(column); });
    new ListKeys(
        list_, [this](int offset) { FillFieldsFromRow(offset); }, [this] { DeleteSelectedEntry(); },
        [this] { FillFieldsFromRow(0); });
    LoadConnectionList();
    ShowFields();
}

// --- Fields ----------------------------------------------------------------------

bool MailConnectionPage::TakePort(int editId, int& field) {
    auto* edit = Control<QLineEdit>(this, editId);
    std::optional<long long> number = LeadingNumber(edit->text());
    QString message;
    if (!number)
        message = LoadString(61719);
    else if (*number < 1 || *number > 65535)
        // The engine listens and connects on 1 to 65535 only; 0 would have
        // the system pick the listen port.
        message = LoadString(61714).arg(1).arg(65535);
    if (message.isEmpty()) {
        field = static_cast<int>(*number);
        return true;
    }
    ShowMessage(window(), message, QMessageBox::Warning);
    edit->setFocus();
    edit->selectAll();
    return false;
}

bool MailConnectionPage::TakeFields() {
    auto text = [this](int id) { return Control<QLineEdit>(this, id)->text(); };
    auto checked = [this](int id) { return Control<QCheckBox>(this, id)->isChecked() ? 1 : 0; };
    host_ = text(shape_.hostEdit);
    if (!TakePort(shape_.hostPortEdit, hostPort_)) return false;
    listenIp_ = text(shape_.listenIpEdit);
    if (!TakePort(shape_.listenPortEdit, listenPort_)) return false;
    sendIp_ = text(shape_.sendIpEdit);
    name_ = text(shape_.nameEdit);
    tunnel_ = checked(kMailTunnelCheck);
    clientTls_ = checked(shape_.clientTlsBox);
    clientStartTls_ = checked(shape_.clientStartTlsBox);
    serverTls_ = checked(shape_.serverTlsBox);
    serverStartTls_ = checked(shape_.serverStartTlsBox);
    certificate_ = text(kMailCertificateEdit);
    privateKey_ = text(kMailKeyEdit);
    return true;
}

void MailConnectionPage::ShowFields() {
    auto setText = [this](int id, const QString& value) { Control<QLineEdit>(this, id)->setText(value); };
    auto setCheck = [this](int id, int value) { Control<QCheckBox>(this, id)->setChecked(value != 0); };
    setText(shape_.hostEdit, host_);
    setText(shape_.hostPortEdit, QString::number(hostPort_));
    setText(shape_.listenIpEdit, listenIp_);
    setText(shape_.listenPortEdit, QString::number(listenPort_));
    setText(shape_.sendIpEdit, sendIp_);
    setText(shape_.nameEdit, name_);
    setCheck(kMailTunnelCheck, tunnel_);
    setCheck(shape_.clientTlsBox, clientTls_);
    setCheck(shape_.clientStartTlsBox, clientStartTls_);
    setCheck(shape_.serverTlsBox, serverTls_);
    setCheck(shape_.serverStartTlsBox, serverStartTls_);
    setText(kMailCertificateEdit, certificate_);
    setText(kMailKeyEdit, privateKey_);
}

void MailConnectionPage::EnableCertificateControls() {
    const bool on = !tunnel_ && (clientTls_ || clientStartTls_);
    EnableIds(this, {kMailCertificateEdit, kMailKeyEdit, kMailCertificateBrowse, kMailKeyBrowse}, on);
    if (on) return;
    certificate_.clear();
    privateKey_.clear();
}

// At most one of TLS and STARTTLS on each side; the tunnel excludes all four.
void MailConnectionPage::ApplyEnablingRules() {
    const bool anyTls = clientTls_ || clientStartTls_ || serverTls_ || serverStartTls_;
    EnableIds(this, {kMailTunnelCheck}, !anyTls);
    EnableIds(this, {shape_.clientTlsBox}, !tunnel_ && !clientStartTls_);
    EnableIds(this, {shape_.clientStartTlsBox}, !tunnel_ && !clientTls_);
    EnableIds(this, {shape_.serverTlsBox}, !tunnel_ && !serverStartTls_);
    EnableIds(this, {shape_.serverStartTlsBox}, !tunnel_ && !serverTls_);
    EnableIds(this, {kMailCertificateLabel, kMailKeyLabel}, !tunnel_);
    EnableCertificateControls();
}

void MailConnectionPage::OnClientBox() {
    TakeFields();
    if (listenIp_.contains(u':')) {
        ShowMessage(window(), LoadString(172), QMessageBox::Warning);
        clientTls_ = clientStartTls_ = 0;
    }
    ApplyEnablingRules();
    ShowFields();
}

void MailConnectionPage::OnServerBox() {
    TakeFields();
    if (host_.contains(u':')) {
        ShowMessage(window(), LoadString(172), QMessageBox::Warning);
        serverTls_ = serverStartTls_ = 0;
    }
    ApplyEnablingRules();
    ShowFields();
}

void MailConnectionPage::OnTunnel() {
    TakeFields();
    ApplyEnablingRules();
    ShowFields();
}

// --- Rows -------------------------------------------------------------------------

ConnectionRow MailConnectionPage::EntryRow() const {
    ConnectionRow row;
    row[kName] = name_;
    row[kListenIp] = listenIp_;
    row[kListenPort] = QString::number(listenPort_);
    row[kClientTls] = FlagCell(clientTls_);
    row[kClientStartTls] = FlagCell(clientStartTls_);
    row[kCertificate] = certificate_;
    row[kPrivateKey] = privateKey_;
    row[kSendIp] = sendIp_;
    row[kHost] = host_;
    row[kHostPort] = QString::number(hostPort_);
    row[kServerTls] = FlagCell(serverTls_);
    row[kServerStartTls] = FlagCell(serverStartTls_);
    row[kTunnel] = FlagCell(tunnel_);
    return row;
}

void MailConnectionPage::Refuse(ConnectionColumn column, const QString& message) {
    const int edits[kColumnCount] = {shape_.nameEdit, shape_.listenIpEdit, shape_.listenPortEdit, 0, 0,
                                     kMailCertificateEdit, kMailKeyEdit, shape_.sendIpEdit, shape_.hostEdit,
                                     shape_.hostPortEdit, 0, 0, 0};
    ShowMessage(window(), message.arg(QString::fromUtf8(Columns()[column].title)), QMessageBox::Warning);
    if (QWidget* edit = FindControl(this, edits[column])) edit->setFocus();
}

void MailConnectionPage::OnAddEntry() {
    // A port that did not pass adds nothing: the row would carry a port
    // other than the one shown.
    if (!TakeFields()) return;
    const ConnectionRow row = EntryRow();
    if (std::optional<ConnectionColumn> column = ColumnThatDoesNotReadBack(row)) {
        Refuse(*column, CannotCarry(*column));
        return;
    }
    // The listen address is needed; the others may be left empty.
    for (ConnectionColumn column : {kListenIp, kSendIp, kHost}) {
        if ((column == kListenIp || !row[column].isEmpty()) && !IsAddressOrHostName(row[column])) {
            Refuse(column, NotAnAddressMessage());
            return;
        }
    }
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list_->topLevelItem(i);
        if (item->text(kListenIp) == listenIp_ && LeadingNumber(item->text(kListenPort)).value_or(0) == listenPort_) {
            ShowMessage(window(), LoadString(173), QMessageBox::Warning);
            ShowFields();
            return;
        }
    }
    auto* item = new QTreeWidgetItem;
    for (int column = 0; column < kColumnCount; ++column) item->setText(column, row[column]);
    list_->insertTopLevelItem(0, item);
    ShowFields();
}

void MailConnectionPage::FillFieldsFromRow(int offset) {
    TakeFields();
    const int index = RowAtOffset(list_, offset);
    if (index >= 0) {
        const QTreeWidgetItem* item = list_->topLevelItem(index);
        name_ = item->text(kName);
        listenIp_ = item->text(kListenIp);
        listenPort_ = static_cast<int>(LeadingNumber(item->text(kListenPort)).value_or(0));
        clientTls_ = IsFlagSet(item->text(kClientTls));
        clientStartTls_ = IsFlagSet(item->text(kClientStartTls));
        certificate_ = item->text(kCertificate);
        privateKey_ = item->text(kPrivateKey);
        sendIp_ = item->text(kSendIp);
        host_ = item->text(kHost);
        hostPort_ = static_cast<int>(LeadingNumber(item->text(kHostPort)).value_or(0));
        serverTls_ = IsFlagSet(item->text(kServerTls));
        serverStartTls_ = IsFlagSet(item->text(kServerStartTls));
        tunnel_ = IsFlagSet(item->text(kTunnel));
    }
    ApplyEnablingRules();
    ShowFields();
}

void MailConnectionPage::DeleteSelectedEntry() {
    TakeFields();
    RemoveSelectedRows(list_);
    ShowFields();
}

void MailConnectionPage::SortByColumn(int column) {
    SortListByColumn(list_, column, shape_.directions->Toggle(column));
}

void MailConnectionPage::Browse(int titleString, ConnectionColumn column, QString& field) {
    TakeFields();
    const QString title = LoadString(titleString);
    const QString chosen = runFilePicker ? runFilePicker(title)
                                         : QFileDialog::getOpenFileName(this, title, QString(),
                                                                        QStringLiteral("Files (*.pem);;All Files (*)"));
    if (chosen.isEmpty()) return;
    ConnectionRow row = EntryRow();
    row[column] = chosen;
    if (ColumnThatDoesNotReadBack(row) == column) {
        Refuse(column, CannotCarry(column));
        return;
    }
    field = chosen;
    ShowFields();
}

void MailConnectionPage::OnBrowseCertificate() { Browse(170, kCertificate, certificate_); }

void MailConnectionPage::OnBrowseKey() { Browse(171, kPrivateKey, privateKey_); }

// --- File ---------------------------------------------------------------------------

void MailConnectionPage::LoadConnectionList() {
    common::ListFileRules rules;
    rules.maxLineLength = kWholeLine;
    const bool found = common::ForEachListLine(DataFolder() + file_.fileName(), rules, [this](std::string_view line) {
        if (std::optional<ConnectionRow> row = RowFromLine(line)) {
            auto* item = new QTreeWidgetItem;
            for (int column = 0; column < kColumnCount; ++column) item->setText(column, (*row)[column]);
            list_->addTopLevelItem(item);
        }
        return true;
    });
    file_.Read(found, FileBytes());
}

std::string MailConnectionPage::FileBytes() const {
    std::string bytes;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list_->topLevelItem(i);
        ConnectionRow row;
        for (int column = 0; column < kColumnCount; ++column) row[column] = item->text(column);
        bytes += LineFromRow(row) + "\r\n";
    }
    return bytes;
}

bool MailConnectionPage::WriteConnectionList() { return file_.Write(FileBytes()); }

bool MailConnectionPage::SaveSettings() {
    // The entry fields are not stored; a port refused here is only shown.
    TakeFields();
    WriteConnectionList();
    ShowFields();
    return true;
}

}  // namespace panel
