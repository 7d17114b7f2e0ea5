#include "panel/framework/settings_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include "panel/framework/color_button.h"
#include "panel/framework/help_viewer.h"
#include "panel/framework/look.h"
#include "panel/framework/message_box.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/picture_view.h"
#include "panel/framework/settings_page.h"
#include "panel/framework/strings.h"
#include "platform/registry/registry.h"

namespace panel {
namespace {

constexpr int kTreeColor = 0xF7DFD6;
constexpr int kBannerColor = 0xB25634;

ColorButton* Button(QWidget* parent, int id, const char* text, QSize size) {
    auto* button = WithId(new ColorButton(QString::fromUtf8(text), parent), id);
    button->setFixedSize(size);
    return button;
}

}  // namespace

SettingsWindow::SettingsWindow(PageFactory factory, QWidget* parent) : QDialog(parent) {
    MarkDialog(this);
    for (int slot = 0; slot < kPageCount; ++slot)
        pages_[slot] = factory(static_cast<PageSlot>(slot), Pages()[slot].templateId);
}

// Pages are children of the window's frame; they go with their owners here,
// before the window's widgets, in reverse member order.
SettingsWindow::~SettingsWindow() {
    for (int slot = kPageCount - 1; slot >= 0; --slot) pages_[slot].reset();
}

void SettingsWindow::BuildTemplate() {
    setFont(DialogFont());
    setWindowTitle(QStringLiteral("VELQOR Server V2"));
    const QFont& f = font();
    setFixedSize(DialogUnitsToPixels(f, 379, 381));

    auto* top = WithId(new PictureView(205, kBannerColor, this), kTopBannerPicture);
    top->setFixedHeight(DialogUnitsToPixels(f, 0, 30).height());
    tree_ = WithId(new QTreeWidget(this), kPageTree);
    tree_->setFixedWidth(DialogUnitsToPixels(f, 120, 0).width());
    tree_->setHeaderHidden(true);
    tree_->setIconSize(QSize(16, 16));
    QPalette treeColours = tree_->palette();
    treeColours.setColor(QPalette::Base, FromColorRef(kTreeColor));
    tree_->setPalette(treeColours);
    frame_ = WithId(new QFrame(this), kPageFrame);
    auto* pagesLayout = new QVBoxLayout(frame_);
    pagesLayout->setContentsMargins(0, 0, 0, 0);
    auto* bottom = WithId(new PictureView(206, kBannerColor, this), kBottomBannerPicture);
    bottom->setFixedHeight(DialogUnitsToPixels(f, 0, 30).height());
    auto* helpPicture = WithId(new PictureView(210, kWindowColor, this), kHelpPicture);
    helpPicture->setFixedSize(DialogUnitsToPixels(f, 19, 23));

    QSize wide = DialogUnitsToPixels(f, 50, 14);
    auto* help = Button(this, kHelpButton, "ﾍﾙﾌﾟ", wide);
    auto* remove = Button(this, kDeleteEntryButton, "削除", DialogUnitsToPixels(f, 36, 14));
    help->hide();
    remove->hide();
    auto* ok = Button(this, kOkButton, "OK", wide);
    auto* cancel = Button(this, kCancelButton, "ｷｬﾝｾﾙ", wide);
    auto* apply = Button(this, kApplyButton, "適用", wide);
    ok->setDefault(true);

    auto* middle = new QHBoxLayout;
    middle->setSpacing(0);
    middle->addWidget(tree_);
    middle->addWidget(frame_, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(helpPicture);
    row->addWidget(help);
    row->addWidget(remove);
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    row->addWidget(apply);
    auto* column = new QVBoxLayout(this);
    int margin = DialogUnitsToPixels(f, 7, 7).width();
    column->setContentsMargins(margin, margin, margin, margin);
    column->setSpacing(0);
    column->addWidget(top);
    column->addLayout(middle, 1);
    column->addWidget(bottom);
    column->addSpacing(DialogUnitsToPixels(f, 0, 2).height());
    column->addLayout(row);

    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &SettingsWindow::OnTreeSelChanged);
    connect(help, &QPushButton::clicked, this, &SettingsWindow::OnHelp);
    connect(helpPicture, &PictureView::clicked, this, &SettingsWindow::OnHelpPictureClick);
    connect(remove, &QPushButton::clicked, this, &SettingsWindow::OnDeleteEntry);
    connect(apply, &QPushButton::clicked, this, &SettingsWindow::OnApply);
    connect(ok, &QPushButton::clicked, this, &SettingsWindow::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void SettingsWindow::OnInitDialog() {
    if (initialised_) return;
    initialised_ = true;
    BuildTemplate();
    SetBackground(this, kWindowColor);
    const int ids[] = {kOkButton, kCancelButton, kHelpButton, kApplyButton};
    for (size_t i = 0; i < buttons_.size(); ++i)
        if (AttachColorButton(buttons_[i], ids[i], this)) {
            buttons_[i]->FaceColor = kPageColor;
            buttons_[i]->TextColor = 0;
        }
    for (auto& page : pages_) {
        page->Create(frame_);
        frame_->layout()->addWidget(page.get());
        page->hide();
        connect(page.get(), &SettingsPage::DeleteEntryCommand, this, &SettingsWindow::OnDeleteEntry);
        connect(page.get(), &SettingsPage::InputRefused, this, [this, p = page.get()] { ShowRefusingPage(p); });
    }
    BuildTree();
    for (PageSlot slot : SectionPages()) {
        bool inTree = false;
        for (int i = 0; i < tree_->topLevelItemCount(); ++i)
            if (tree_->topLevelItem(i)->data(0, Qt::UserRole).toInt() == slot) inTree = true;
        if (inTree) {
            ShowPage(Page(slot));
            break;
        }
    }
    setWindowIcon(QIcon(Picture(128, QSize(16, 16))));
    setWindowTitle(LoadString(102));
}

void SettingsWindow::BuildTree() {
    std::vector<QTreeWidgetItem*> parents;
    int skipBelow = -1;  // depth of an item left out, whose children go too
    const auto& icons = TreeImageIcons();
    for (const TreeRow& row : TreeRows()) {
        if (skipBelow >= 0 && row.depth > skipBelow) continue;
        skipBelow = -1;
        if (row.needs && !ProgramPresent(row.needs)) {
            skipBelow = row.depth;
            continue;
        }
        parents.resize(row.depth);
        auto* item = row.depth == 0 ? new QTreeWidgetItem(tree_) : new QTreeWidgetItem(parents.back());
        item->setText(0, QString::fromUtf8(row.label));
        item->setIcon(0, QIcon(Picture(icons[row.image], QSize(32, 32))));
        item->setData(0, Qt::UserRole, static_cast<int>(row.slot));
        parents.push_back(item);
    }
}

void SettingsWindow::ShowPage(SettingsPage* page) {
    if (shown_ == page) return;
    if (shown_) shown_->hide();
    shown_ = page;
    if (shown_) shown_->show();
}

// The tree follows to the page's item, without the toggle a selection by
// the administrator makes; a page the tree does not hold is shown alone.
void SettingsWindow::ShowRefusingPage(SettingsPage* page) {
    ShowPage(page);
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
        if (Page(static_cast<PageSlot>((*it)->data(0, Qt::UserRole).toInt())) != page) continue;
        const QSignalBlocker quiet(tree_);
        for (QTreeWidgetItem* parent = (*it)->parent(); parent; parent = parent->parent()) parent->setExpanded(true);
        tree_->setCurrentItem(*it);
        return;
    }
}

int SettingsWindow::DoModal() {
    OnInitDialog();
    return exec();
}

SettingsWindow::SaveResult SettingsWindow::SaveAllPages() {
    // Every page is checked before any writes: a value refused on a late
    // page must not leave the earlier pages' values saved.
    for (PageSlot slot : SaveOrder()) {
        if (!Page(slot)->CheckSettings()) {
            ShowRefusingPage(Page(slot));
            return SaveResult::Refused;
        }
    }
    // Every value of every page goes to the store in one write.
    platform::RegistryBatch batch;
    for (PageSlot slot : SaveOrder()) {
        if (!Page(slot)->SaveSettings()) {
            batch.Commit();
            ShowRefusingPage(Page(slot));
            for (auto& page : pages_) page->TakeWriteFailure();
            return SaveResult::Refused;
        }
    }
    std::optional<SettingsPage::WriteFailure> failure;
    if (platform::LONG code = batch.Commit(); code != platform::kErrorSuccess)
        failure = SettingsPage::WriteFailure{platform::RegistryStoreFolder(), code};
    for (PageSlot slot : SaveOrder()) {
        auto pageFailure = Page(slot)->TakeWriteFailure();
        if (pageFailure && !failure) failure = pageFailure;
    }
    if (!failure) return SaveResult::Saved;
    ShowMessage(this,
                QString::fromUtf8("設定を保存できませんでした。\r\n値 %1 の書き込みに失敗しました（エラー %2）。")
                    .arg(QString::fromStdString(failure->value))
                    .arg(failure->code),
                QMessageBox::Critical);
    return SaveResult::WriteFailed;
}

void SettingsWindow::OnTreeSelChanged() {
    QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    if (selected.isEmpty()) return;
    QTreeWidgetItem* item = selected.front();
    item->setExpanded(!item->isExpanded());
    ShowPage(Page(static_cast<PageSlot>(item->data(0, Qt::UserRole).toInt())));
}

void SettingsWindow::OnOK() {
    if (SaveAllPages() != SaveResult::Saved) return;
    // Nothing after this window offers the restart.
    if (!fromTray) ShowMessage(this, AppliedMessage(), QMessageBox::Information);
    accept();
}

void SettingsWindow::OnApply() {
    if (SaveAllPages() == SaveResult::Saved) ShowMessage(this, AppliedMessage(), QMessageBox::Information);
}

QString SettingsWindow::AppliedMessage() const {
    // The service reads the settings only when it starts the servers.
    if (fromTray) return LoadString(188);
    return LoadString(188) + QString::fromUtf8("\r\n設定はサービスを再起動すると有効になります。");
}

void SettingsWindow::OnHelp() { ShowHelpIndex(); }

void SettingsWindow::OnHelpPictureClick() { ShowHelpIndex(); }

void SettingsWindow::OnDeleteEntry() {
    for (PageSlot slot : ListPages()) {
        if (shown_ == Page(slot)) {
            Page(slot)->DeleteSelectedEntry();
            return;
        }
    }
}

}  // namespace panel
