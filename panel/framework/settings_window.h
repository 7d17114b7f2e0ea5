// The settings window: a tree of the servers present on the left, the page
// of the selected item on the right, and every page saved at once by OK or
// Apply.
#pragma once

#include <QDialog>
#include <array>
#include <memory>

#include "panel/framework/page_table.h"

class QTreeWidget;
class QTreeWidgetItem;
class QFrame;

namespace panel {

class ColorButton;
class SettingsPage;

// The window's controls: the banners, the tree and the frame of the pages,
// the help picture and the buttons (the delete button, hidden, is
// kDeleteEntryButton).
inline constexpr int kTopBannerPicture = 1316;
inline constexpr int kPageTree = 1308;
inline constexpr int kPageFrame = 1309;
inline constexpr int kBottomBannerPicture = 1317;
inline constexpr int kHelpPicture = 1004;
inline constexpr int kHelpButton = 1307;
inline constexpr int kOkButton = 1;
inline constexpr int kCancelButton = 2;
inline constexpr int kApplyButton = 1008;

class SettingsWindow : public QDialog {
    Q_OBJECT
public:
    // Constructs every page (no widgets yet) through the factory.
    explicit SettingsWindow(PageFactory factory = DefaultPageFactory(), QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // Builds template 184, creates every page and the tree, shows the first
    // section page. DoModal does this and runs the window: Accepted after
    // OK, Rejected after Cancel or closing.
    void OnInitDialog();
    int DoModal();

    // Opened from the tray, which offers the service's restart after OK.
    // Opened otherwise, the message after Apply and OK says that the
    // settings act once the service restarts.
    bool fromTray = false;

    SettingsPage* Page(PageSlot slot) const { return pages_[slot].get(); }
    SettingsPage* ShownPage() const { return shown_; }
    QTreeWidget* Tree() const { return tree_; }

    enum class SaveResult { Saved, Refused, WriteFailed };
    // Saves the 45 pages in their order. A page that refuses its input
    // stops the save and is shown; after a failed write the other pages
    // are still saved and one message names the first failed value.
    SaveResult SaveAllPages();

public slots:
    void OnTreeSelChanged();
    void OnOK();
    void OnApply();
    void OnHelp();
    void OnHelpPictureClick();
    void OnDeleteEntry();

private:
    void BuildTemplate();
    void BuildTree();
    void ShowPage(SettingsPage* page);
    // A page whose input is refused: shown, with its tree item selected.
    void ShowRefusingPage(SettingsPage* page);
    QString AppliedMessage() const;

    std::array<std::unique_ptr<SettingsPage>, kPageCount> pages_;
    std::array<ColorButton*, 4> buttons_ = {};
    QTreeWidget* tree_ = nullptr;
    QFrame* frame_ = nullptr;
    SettingsPage* shown_ = nullptr;
    bool initialised_ = false;
};

}  // namespace panel
