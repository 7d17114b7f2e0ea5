#include "panel/framework/color_button.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QProgressBar>
#include <QVBoxLayout>

#include "panel/framework/indicator_dlg.h"
#include "panel/framework/look.h"

namespace {

using namespace panel;

int CountColor(const QImage& image, QColor color) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == color) ++count;
    return count;
}

// The ids of the test dialog's button and of one it does not have.
constexpr int kShownButton = 1216;
constexpr int kOtherButton = 1215;

class ColorButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        MarkDialog(&dialog_);
        auto* layout = new QVBoxLayout(&dialog_);
        auto* owned = WithId(new ColorButton(QString::fromUtf8("キャッシュをクリアする"), &dialog_), kShownButton);
        // Unsmoothed glyphs, so the label's pixels have its exact colour.
        QFont font = DialogFont();
        font.setStyleStrategy(QFont::NoAntialias);
        owned->setFont(font);
        owned->setFixedSize(160, 30);
        layout->addWidget(owned);
        ASSERT_TRUE(AttachColorButton(button_, kShownButton, &dialog_));
        button_->FaceColor = kPageColor;
        button_->TextColor = 0;
        dialog_.show();
    }
    QImage Shot() { return button_->grab().toImage(); }

    QDialog dialog_;
    ColorButton* button_ = nullptr;
};

TEST_F(ColorButtonTest, ShowsItsFaceAndLabelColours) {
    QImage image = Shot();
    EXPECT_EQ(image.pixelColor(8, 15), QColor(0xB0, 0xC5, 0xFF));
    EXPECT_GT(CountColor(image, Qt::black), 0) << "the label";
    EXPECT_EQ(CountColor(image, QColor(0x80, 0x80, 0x80)), 0);
}

TEST_F(ColorButtonTest, DisabledButtonShowsItsLabelAgainInGrey) {
    button_->setEnabled(false);
    QImage image = Shot();
    EXPECT_GT(CountColor(image, QColor(0x80, 0x80, 0x80)), 0);
    button_->DisabledTextColor = 0x0000FF;
    EXPECT_GT(CountColor(Shot(), QColor(0xFF, 0, 0)), 0) << "the second label takes the disabled colour";
}

TEST_F(ColorButtonTest, ChangedFaceShowsAtTheNextPaint) {
    button_->FaceColor = 0x00FF00;
    button_->update();
    EXPECT_EQ(Shot().pixelColor(8, 15), QColor(0, 0xFF, 0));
}

TEST_F(ColorButtonTest, AttachFindsOnlyTheDialogsOwnButtons) {
    ColorButton* member = nullptr;
    EXPECT_FALSE(AttachColorButton(member, kOtherButton, &dialog_));
    // A page inside the dialog is a dialog of its own: its button with the
    // same id is not the outer dialog's.
    QWidget page(&dialog_);
    MarkDialog(&page);
    WithId(new ColorButton("x", &page), kOtherButton);
    EXPECT_FALSE(AttachColorButton(member, kOtherButton, &dialog_));
    EXPECT_TRUE(AttachColorButton(member, kOtherButton, &page));
}

TEST(IndicatorDlgTest, ZeroStepsGiveTheRangeZeroToZero) {
    IndicatorDlg indicator;
    indicator.text = QString::fromUtf8("キャッシュを削除しています");
    indicator.Create();
    indicator.SetRange(0);
    auto* bar = Control<QProgressBar>(&indicator, kIndicatorBar);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 0);
    EXPECT_EQ(indicator.windowTitle(), "VELQOR Server");
    EXPECT_TRUE(indicator.isVisible());
    EXPECT_FALSE(indicator.isModal());
}

}  // namespace
