#include "panel/mailpages/mail_archive_page.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "common/proxy_values.h"
#include "panel/framework/folder_view.h"
#include "panel/framework/outside_program.h"
#include "panel/framework/page_parts.h"

namespace panel {

namespace smtp = common::smtp_value;

QString WithFinalSlash(const QString& folder) {
    if (folder.isEmpty() || folder.endsWith(u'/')) return folder;
    return folder + u'/';
}

std::string SearchProgramPath(const QString& searchFolder) {
    QFileInfo named(searchFolder);
    if (!searchFolder.isEmpty() && !searchFolder.endsWith(u'/') && named.exists() && !named.isDir())
        return searchFolder.toStdString();
    // An empty text leaves the bare name, looked up in PATH.
    if (searchFolder.isEmpty()) return "orsearch";
    return (WithFinalSlash(searchFolder) + QStringLiteral("orsearch")).toStdString();
}

Csmtpdlg12::Csmtpdlg12(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void Csmtpdlg12::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* backup = CheckBox(this, kMailBackupCheck, "メールを保管する。");
    layout->addWidget(backup);
    // The folder the proxy keeps the mail under: labelled as the search
    // program's path below it is, so that the two fields are told apart.
    archiveLabel_ = Static(this, 0, "メールの保管フォルダ");
    auto* archiveFolder = Edit(this, kArchiveFolderEdit);
    archiveLabel_->setBuddy(archiveFolder);
    layout->addWidget(archiveLabel_);
    auto* archive = new QHBoxLayout;
    archive->addWidget(archiveFolder, 1);
    archive->addWidget(Button(this, kArchiveBrowseButton, "参照"));
    layout->addLayout(archive);
    layout->addWidget(Static(this, kSearchFolderLabel, "検索ソフトの実行パス"));
    auto* search = new QHBoxLayout;
    search->addWidget(Edit(this, kSearchFolderEdit), 1);
    search->addWidget(Button(this, kSearchBrowseButton, "参照"));
    layout->addLayout(search);
    auto* start = new QHBoxLayout;
    start->addWidget(Button(this, kStartSearchButton, "検索ソフト起動"));
    start->addStretch();
    layout->addLayout(start);
    layout->addStretch();
    connect(backup, &QCheckBox::clicked, this, [this] { UpdateEnableState(); });
}

void Csmtpdlg12::OnInitDialog() {
    AttachButton(archiveBrowse_, kArchiveBrowseButton, this, [this] { OnBrowseArchiveFolder(); });
    AttachButton(searchBrowse_, kSearchBrowseButton, this, [this] { OnBrowseSearchFolder(); });
    AttachButton(startSearch_, kStartSearchButton, this, [this] { OnStartSearch(); });
    mailBackup_ = ReadSetting(smtp::kMailBackup.name, static_cast<int>(smtp::kMailBackup.byDefault));
    backupFolder_ = ReadSettingText(smtp::kBackupFolder.name, smtp::kBackupFolder.byDefault);
    searchFolder_ = ReadSettingText("orsearchfolder");
    BindCheck(kMailBackupCheck, mailBackup_);
    BindText(kArchiveFolderEdit, backupFolder_);
    BindText(kSearchFolderEdit, searchFolder_);
    ControlsFromFields();
    UpdateEnableState();
}

void Csmtpdlg12::UpdateEnableState() {
    FieldsFromControls();
    EnableIds(this,
              {kArchiveFolderEdit, kArchiveBrowseButton, kSearchFolderLabel, kSearchFolderEdit, kSearchBrowseButton,
               kStartSearchButton},
              mailBackup_ != 0);
    archiveLabel_->setEnabled(mailBackup_ != 0);
    ControlsFromFields();
}

bool Csmtpdlg12::SaveSettings() {
    if (!FieldsFromControls()) return false;
    backupFolder_ = WithFinalSlash(backupFolder_);
    WriteDword(smtp::kMailBackup.name, static_cast<uint32_t>(mailBackup_));
    WriteString(smtp::kBackupFolder.name, backupFolder_);
    WriteString("orsearchfolder", searchFolder_);
    ControlsFromFields();
    return true;
}

bool Csmtpdlg12::PickFolder(QString& field) {
    CFolderView2 picker;
    const QDialog& dialog = picker;
    if (runPicker)
        runPicker(picker);
    else
        picker.exec();
    if (dialog.result() != QDialog::Accepted) return false;
    FieldsFromControls();
    field = picker.result;
    ControlsFromFields();
    return true;
}

void Csmtpdlg12::OnBrowseArchiveFolder() { PickFolder(backupFolder_); }

void Csmtpdlg12::OnBrowseSearchFolder() { PickFolder(searchFolder_); }

void Csmtpdlg12::OnStartSearch() {
    FieldsFromControls();
    // One argument, blanks kept; what the program does with it is its own.
    StartProgram({SearchProgramPath(searchFolder_), "-f=" + WithFinalSlash(backupFolder_).toStdString()});
    ControlsFromFields();
}

}  // namespace panel
