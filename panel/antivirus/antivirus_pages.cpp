#include "panel/antivirus/antivirus_pages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "common/start_values.h"
#include "panel/framework/color_button.h"
#include "panel/framework/folder_view.h"
#include "panel/framework/list_file_edit.h"
#include "panel/framework/list_file_texts.h"
#include "panel/framework/look.h"
#include "panel/framework/page_parts.h"
#include "panel/framework/page_table.h"
#include "panel/framework/registry_ops.h"

namespace panel {
namespace {

namespace watch = common::watch_value;
namespace update = common::update_value;

// The excluded-extension list's header for a new file.
const std::vector<std::string>& ExtensionListHeader() {
    static const std::vector<std::string> header = CommentedHeader(
        {"'このファイルへは、リアルタイム監視で除外したいファイルの拡張子を",
         "'記述して下さい。"},
        {"'例）拡張子が\".txt\"と\".ini\"のものを除外したい場合(大小文字共通)",
         "'.txt",
         "'.ini"});
    return header;
}

}  // namespace

// --- Scan engine -----------------------------------------------------------

CAntiVirusSetDlg::CAntiVirusSetDlg(int templateId, QWidget* parent)
    : SwitchAndLogPage(templateId, parent,
                       {kAntiVirusOnCheck, "アンチウイルスエンジンを起動する。", common::scan_value::kScanMode,
                        kAntiVirusLogCheck, common::scan_value::kLog}) {}

// --- Updater ---------------------------------------------------------------

CAntiVirusSetDlg0::CAntiVirusSetDlg0(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void CAntiVirusSetDlg0::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* interval = new QHBoxLayout;
    interval->addWidget(Static(this, kUpdateIntervalLabel, "データ更新間隔"));
    interval->addWidget(Edit(this, kUpdateIntervalEdit));
    interval->addWidget(Static(this, kUpdateIntervalUnitLabel, "時間毎"));
    interval->addStretch();
    layout->addLayout(interval);
    layout->addWidget(CheckBox(this, kUpdateLogCheck, "ログを残す。"));
    auto* proxy = CheckBox(this, kUpdateProxyCheck, "更新はプロキシサーバを使用する。");
    layout->addWidget(proxy);
    auto* server = new QHBoxLayout;
    server->addWidget(Edit(this, kUpdateProxyServerEdit), 3);
    server->addWidget(Static(this, kUpdateProxyPortLabel, "ポート"));
    server->addWidget(Edit(this, kUpdateProxyPortEdit), 1);
    layout->addLayout(server);
    layout->addStretch();
    connect(proxy, &QCheckBox::clicked, this, [this] { UpdateEnableState(); });
}

void CAntiVirusSetDlg0::OnInitDialog() {
    timeout_ = static_cast<uint32_t>(ReadSetting(update::kHoursOnPage.name, update::kHoursOnPage.byDefault));
    logEnabled_ = ReadSetting(update::kLog.name, update::kLog.byDefault);
    proxyServerUsed_ = ReadSetting(update::kProxyUsed.name, update::kProxyUsed.byDefault);
    proxyServerName_ = ReadSettingText(update::kProxyName.name, update::kProxyName.byDefault);
    proxyServerPort_ = static_cast<uint32_t>(ReadSetting(update::kProxyPort.name, update::kProxyPort.byDefault));
    BindNumber(kUpdateIntervalEdit, timeout_, NumberKind::Unsigned32);
    BindCheck(kUpdateLogCheck, logEnabled_);
    BindCheck(kUpdateProxyCheck, proxyServerUsed_);
    BindText(kUpdateProxyServerEdit, proxyServerName_);
    BindNumber(kUpdateProxyPortEdit, proxyServerPort_, NumberKind::Unsigned32);
    ControlsFromFields();
    UpdateEnableState();
}

void CAntiVirusSetDlg0::UpdateEnableState() {
    FieldsFromControls();
    EnableIds(this, {kUpdateProxyServerEdit, kUpdateProxyPortEdit}, proxyServerUsed_ != 0);
}

bool CAntiVirusSetDlg0::SaveSettings() {
    if (!FieldsFromControls()) return false;
    WriteDword(update::kHoursOnPage.name, timeout_);
    WriteDword(update::kLog.name, static_cast<uint32_t>(logEnabled_));
    WriteString(update::kProxyName.name, proxyServerName_);
    WriteDword(update::kProxyUsed.name, static_cast<uint32_t>(proxyServerUsed_));
    WriteDword(update::kProxyPort.name, proxyServerPort_);
    ControlsFromFields();
    return true;
}

// --- Process watching --------------------------------------------------------

CAntiVirusSetDlg1::CAntiVirusSetDlg1(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void CAntiVirusSetDlg1::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* process = CheckBox(this, kProcessWatchCheck, "実行中のプロセス監視");
    layout->addWidget(process);
    layout->addWidget(CheckBox(this, kProcessLogCheck, "ログを残す。"));
    auto* interval = new QHBoxLayout;
    auto* combo = WithId(new QComboBox(this), kProcessIntervalCombo);
    combo->setEditable(true);
    combo->addItems({"10", "20", "30", "40", "50", "60"});
    interval->addWidget(combo);
    interval->addWidget(Static(this, kProcessIntervalUnitLabel, "分毎"));
    interval->addStretch();
    layout->addLayout(interval);
    layout->addStretch();
    connect(process, &QCheckBox::clicked, this, [this] { UpdateEnableState(); });
}

void CAntiVirusSetDlg1::OnInitDialog() {
    process_ = ReadSetting(watch::kProcess.name, watch::kProcess.byDefault);
    processlog_ = ReadSetting(watch::kProcessLog.name, watch::kProcessLog.byDefault);
    processtime_ = ReadSettingText(watch::kProcessTime.name, watch::kProcessTime.byDefault);
    BindCheck(kProcessWatchCheck, process_);
    BindCheck(kProcessLogCheck, processlog_);
    ControlsFromFields();
    // The combo box keeps any text, also a number that is not in its list.
    Control<QComboBox>(this, kProcessIntervalCombo)->setEditText(processtime_);
    UpdateEnableState();
}

void CAntiVirusSetDlg1::UpdateEnableState() {
    FieldsFromControls();
    EnableIds(this, {kProcessLogCheck, kProcessIntervalCombo, kProcessIntervalUnitLabel}, process_ != 0);
}

bool CAntiVirusSetDlg1::SaveSettings() {
    if (!FieldsFromControls()) return false;
    processtime_ = Control<QComboBox>(this, kProcessIntervalCombo)->currentText();
    WriteDword(watch::kProcess.name, static_cast<uint32_t>(process_));
    WriteString(watch::kProcessTime.name, processtime_);
    WriteDword(watch::kProcessLog.name, static_cast<uint32_t>(processlog_));
    ControlsFromFields();
    return true;
}

// --- Real-time folder watching -------------------------------------------------

CAntiVirusSetDlg2::CAntiVirusSetDlg2(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void CAntiVirusSetDlg2::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* folder = CheckBox(this, kFolderWatchCheck, "リアルタイム監視");
    layout->addWidget(folder);
    layout->addWidget(CheckBox(this, kFolderLogCheck, "ログを残す。"));
    layout->addWidget(Static(this, kFolderDrivesLabel, "対象ドライブ(例: A:\\;C:\\)"));
    layout->addWidget(Edit(this, kFolderDrivesEdit));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button(this, kWatchPlacesButton, "監視先設定"));
    buttons->addWidget(Button(this, kExcludedExtensionsButton, "除外する拡張子"));
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addStretch();
    connect(folder, &QCheckBox::clicked, this, [this] { UpdateEnableState(); });
}

void CAntiVirusSetDlg2::OnInitDialog() {
    AttachButton(placesButton_, kWatchPlacesButton, this, [this] { OnWatchPlaces(); });
    AttachButton(extensionsButton_, kExcludedExtensionsButton, this, [this] { OnExcludedExtensions(); });
    folder_ = ReadSetting(watch::kFolder.name, watch::kFolder.byDefault);
    folderlog_ = ReadSetting(watch::kFolderLog.name, watch::kFolderLog.byDefault);
    drivepath_ = ReadSettingText(watch::kDrivePath.name, watch::kDrivePath.byDefault);
    BindCheck(kFolderWatchCheck, folder_);
    BindCheck(kFolderLogCheck, folderlog_);
    BindText(kFolderDrivesEdit, drivepath_);
    ControlsFromFields();
    UpdateEnableState();
}

void CAntiVirusSetDlg2::UpdateEnableState() {
    FieldsFromControls();
    EnableIds(this,
              {kFolderLogCheck, kFolderDrivesLabel, kFolderDrivesEdit, kWatchPlacesButton, kExcludedExtensionsButton},
              folder_ != 0);
}

bool CAntiVirusSetDlg2::SaveSettings() {
    if (!FieldsFromControls()) return false;
    WriteDword(watch::kFolder.name, static_cast<uint32_t>(folder_));
    WriteDword(watch::kFolderLog.name, static_cast<uint32_t>(folderlog_));
    ControlsFromFields();
    return true;
}

void CAntiVirusSetDlg2::OnWatchPlaces() {
    FieldsFromControls();
    RegWriteString(kProductSettingsKey, watch::kDrivePath.name, drivepath_.toStdString());
    {
        CFolderView view;
        if (runDialog)
            runDialog(view);
        else
            view.exec();
    }
    std::string text;
    RegReadString(RegRoot::LocalMachine, kProductSettingsKey, watch::kDrivePath.name, watch::kDrivePath.byDefault, text,
                  1 << 20);
    drivepath_ = QString::fromStdString(text);
    ControlsFromFields();
}

void CAntiVirusSetDlg2::OnExcludedExtensions() { EditListFile("fwhiteext.db", ExtensionListHeader(), {}); }

void RegisterAntiVirusPages() {
    RegisterPage<CAntiVirusSetDlg>(kAntiVirusSetDlg);
    RegisterPage<CAntiVirusSetDlg0>(kAntiVirusSetDlg0);
    RegisterPage<CAntiVirusSetDlg1>(kAntiVirusSetDlg1);
    RegisterPage<CAntiVirusSetDlg2>(kAntiVirusSetDlg2);
}

}  // namespace panel
