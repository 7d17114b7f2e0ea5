// The SMTP mail archive page: whether the proxy keeps the mail it relays,
// the folder it keeps it in, and the outside search program started on
// that folder.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "panel/framework/settings_page.h"

class QLabel;

namespace panel {

class CFolderView2;
class ColorButton;

// The switch, the archive folder, the search program's folder and its
// start button.
inline constexpr int kMailBackupCheck = 1130;
inline constexpr int kArchiveFolderEdit = 1134;
inline constexpr int kArchiveBrowseButton = 1135;
inline constexpr int kSearchFolderLabel = 1147;
inline constexpr int kSearchFolderEdit = 1148;
inline constexpr int kSearchBrowseButton = 1142;
inline constexpr int kStartSearchButton = 1149;
class Csmtpdlg12 : public SettingsPage {
    Q_OBJECT
public:
    explicit Csmtpdlg12(int templateId = 124, QWidget* parent = nullptr);
    bool SaveSettings() override;

    // The two browse buttons: the folder picker for the archive folder or
    // the search program's folder; the choice is shown, not yet stored.
    void OnBrowseArchiveFolder();
    void OnBrowseSearchFolder();
    // The start button: starts the search program on the archive folder as
    // typed (unsaved edits count).
    void OnStartSearch();
    // Replaces the modal run of the folder picker (tests).
    std::function<void(CFolderView2&)> runPicker;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    void UpdateEnableState();
    bool PickFolder(QString& field);
    int mailBackup_ = 0;
    QString backupFolder_;
    QString searchFolder_;
    ColorButton* archiveBrowse_ = nullptr;
    ColorButton* searchBrowse_ = nullptr;
    ColorButton* startSearch_ = nullptr;
    QLabel* archiveLabel_ = nullptr;
};

// The engine puts its day folders at the archive folder followed directly
// by the date, so a folder is kept with its final "/" (empty stays empty).
QString WithFinalSlash(const QString& folder);

// The search program: the text itself when it names a file that exists,
// otherwise the folder it names joined with "orsearch" (a "/" inserted
// when the folder lacks one).
std::string SearchProgramPath(const QString& searchFolder);

}  // namespace panel
