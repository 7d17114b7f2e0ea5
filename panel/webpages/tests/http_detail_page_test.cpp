// The HTTP detail page's rating levels and presets, the kids filter record
// it writes read back by the content word filter's own reader, and the
// levels reaching the filter's start options.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <algorithm>
#include <span>

#include "filters/cwfs/kids_check.h"
#include "panel/framework/look.h"
#include "panel/framework/registry_ops.h"
#include "panel/webpages/http_detail_page.h"
#include "panel/webpages/kids_records.h"
#include "platform/codepage/codepage.h"
#include "service/child_start_table.h"
#include "web_page_test.h"

namespace {

using namespace panel;

// Radio ids of the levels, in the order nudity, sex, violence, language,
// other, communication.
const std::vector<std::span<const int>> kLevelRadios = {kNudityRadios,   kSexRadios,   kViolenceRadios,
                                                       kLanguageRadios, kOtherRadios, kCommunicationRadios};
const char* const kLevelValues[] = {"pics_nude",     "pics_sex",   "pics_violence",
                                    "pics_language", "pics_other", "pics_communication"};

class HttpDetailPageTest : public webtest::WebPageTest {
protected:
    std::unique_ptr<Chttpdlg> Open() { return WebPageTest::Open<Chttpdlg>(); }
    static std::vector<int> Shown(Chttpdlg& page) {
        std::vector<int> levels;
        for (const auto& radios : kLevelRadios) {
            int level = -1;
            for (size_t i = 0; i < radios.size(); ++i)
                if (Control<QRadioButton>(&page, radios[i])->isChecked()) level = static_cast<int>(i);
            levels.push_back(level);
        }
        return levels;
    }
    std::vector<uint32_t> Stored() {
        std::vector<uint32_t> levels;
        for (const char* value : kLevelValues) levels.push_back(RegReadDword(kProductSettingsKey, value, 99));
        return levels;
    }
    void Store(std::vector<uint32_t> levels, uint32_t use) {
        for (size_t i = 0; i < levels.size(); ++i) RegWriteDword(kProductSettingsKey, kLevelValues[i], levels[i]);
        RegWriteDword(kProductSettingsKey, "pics_use", use);
    }
    static void Choose(Chttpdlg& page, int item) {
        auto* combo = Control<QComboBox>(&page, kRatingPresetCombo);
        combo->setCurrentIndex(item);
        emit combo->activated(item);
    }
    std::string Kids() { return dataFolder() + "kidssearch.ini"; }
};

TEST_F(HttpDetailPageTest, StoredLevelsShowTheirPreset) {
    struct Case {
        std::vector<uint32_t> levels;
        uint32_t use;
        int item;  // -1: the combo box shows nothing
    } cases[] = {
        {{0, 0, 0, 0, 0, 1}, 1, 3},
        {{0, 0, 0, 0, 0, 0}, 1, 4},
        {{0, 0, 0, 0, 0, 2}, 1, 2},
        {{0, 1, 0, 0, 0, 2}, 1, 1},
        {{0, 0, 0, 0, 0, 0}, 0, -1},
    };
    for (const Case& c : cases) {
        Store(c.levels, c.use);
        testsupport::WriteFile(Kids(), "'[R12]\r\n");
        auto page = Open();
        auto* combo = Control<QComboBox>(page.get(), kRatingPresetCombo);
        EXPECT_EQ(combo->currentIndex(), c.item);
        if (c.item >= 0) {
            EXPECT_EQ(combo->currentText(), Chttpdlg::PresetText(c.item));
        }
        EXPECT_EQ(combo->isEnabled(), c.use != 0);
        EXPECT_EQ(Control<QRadioButton>(page.get(), kNudityRadios[0])->isEnabled(), c.use != 0);
        // With the rating off the page shows the levels it starts with, and
        // the record is gone as soon as the page opened.
        if (c.use == 0) {
            EXPECT_EQ(Shown(*page), (std::vector<int>{4, 4, 4, 4, 3, 2}));
            EXPECT_FALSE(testsupport::FileExists(Kids()));
        } else {
            std::vector<int> expected(c.levels.begin(), c.levels.end());
            EXPECT_EQ(Shown(*page), expected);
            EXPECT_TRUE(testsupport::FileExists(Kids()));
        }
    }
}

TEST_F(HttpDetailPageTest, PresetsSetLevelsAndWriteTheKidsRecord) {
    Store({4, 4, 4, 4, 3, 2}, 1);
    auto page = Open();
    Choose(*page, 4);  // "簡易制限（小学生以下）"
    EXPECT_EQ(Shown(*page), (std::vector<int>{0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(page->SaveSettings());
    EXPECT_EQ(Stored(), (std::vector<uint32_t>{0, 0, 0, 0, 0, 0}));

    // Seven lines: the comment, the record line, the two patterns, three
    // empty lines; code page 932; the URL keeps its "%%".
    std::string bytes = testsupport::ReadFile(Kids());
    std::string url = "http://kids-search.example.jp/search/search.php?MT=http%%3A%%2F%%2F%s";
    EXPECT_EQ(bytes, "'[R12]\r\n" + platform::Utf8ToCp932("R12フィルタ,") + url +
                         "\r\n1,*(\xA4\xB3\xA4\xCE*\r\n1,*<div id=\"rslt-zero\">*\r\n\r\n\r\n\r\n");

    // The content word filter reads the record whole and asks the portal
    // for the page with its "://" escaped.
    auto records = cwfs::ParseKidsRecords(Kids());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name, platform::Utf8ToCp932("R12フィルタ"));
    EXPECT_EQ(records[0].url, url);
    EXPECT_EQ(records[0].entries[0].pattern, std::optional<std::string>("*(\xA4\xB3\xA4\xCE*"));
    EXPECT_FALSE(records[0].entries[2].pattern);
    EXPECT_EQ(cwfs::KidsQueryPath("/search/search.php?MT=http%%3A%%2F%%2F%s", "www.example.jp/a/"),
              "/search/search.php?MT=http%3A%2F%2Fwww.example.jp%2Fa%2F");

    // "簡易制限（中学生以下）": the filter starts with communication 1.
    Choose(*page, 3);
    ASSERT_TRUE(page->SaveSettings());
    EXPECT_EQ(Stored(), (std::vector<uint32_t>{0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(testsupport::ReadFile(Kids()).substr(0, 8), "'[R15]\r\n");
    auto table = service::BuildChildStartTable({"VELQOR_TEST_DATA_ROOT", false, false});
    RegWriteDword(kProductSettingsKey, "http", 1);
    table = service::BuildChildStartTable({"VELQOR_TEST_DATA_ROOT", false, false});
    auto filter = std::find_if(table.begin(), table.end(), [](const auto& step) { return step.program == "orqcwfs"; });
    ASSERT_NE(filter, table.end());
    EXPECT_NE(std::find(filter->args.begin(), filter->args.end(), "-l=0,0,0,0,0,1"), filter->args.end());

    // "手動制限" with a changed level keeps the record of the last preset.
    Choose(*page, 1);
    Control<QRadioButton>(page.get(), kLanguageRadios[1])->click();
    ASSERT_TRUE(page->SaveSettings());
    EXPECT_EQ(Stored(), (std::vector<uint32_t>{0, 0, 0, 1, 0, 1}));
    EXPECT_EQ(testsupport::ReadFile(Kids()).substr(0, 8), "'[R15]\r\n");

    // "制限無し": rating off at once, record gone, only pics_use written.
    Choose(*page, 0);
    EXPECT_FALSE(Control<QCheckBox>(page.get(), kPicsLabelCheck)->isChecked());
    EXPECT_FALSE(Control<QComboBox>(page.get(), kRatingPresetCombo)->isEnabled());
    EXPECT_FALSE(testsupport::FileExists(Kids()));
    ASSERT_TRUE(page->SaveSettings());
    EXPECT_EQ(RegReadDword(kProductSettingsKey, "pics_use", 99), 0u);
    EXPECT_EQ(Stored(), (std::vector<uint32_t>{0, 0, 0, 1, 0, 1}));
}

TEST_F(HttpDetailPageTest, RatingSwitchedOnWithoutPresetLeavesTheRecordAndOddLevelsStay) {
    Store({9, 4, 4, 4, 3, 2}, 1);  // nudity 9: no such button
    testsupport::WriteFile(Kids(), "'[R18]\r\nkept\r\n");
    auto page = Open();
    EXPECT_EQ(Shown(*page)[0], -1);
    Control<QRadioButton>(page.get(), kLanguageRadios[2])->click();  // language 2
    ASSERT_TRUE(page->SaveSettings());
    EXPECT_EQ(Stored(), (std::vector<uint32_t>{9, 4, 4, 2, 3, 2}));
    EXPECT_EQ(testsupport::ReadFile(Kids()), "'[R18]\r\nkept\r\n");
}

// The R15 and R18 records with their long patterns: every line as the
// page writes it reaches the filter whole, also a stored value of the full
// 520 bytes; a longer one is cut at 520 bytes, never inside a character.
TEST_F(HttpDetailPageTest, LongRecordLinesReachTheFilterWhole) {
    struct Length {
        const char* value;
        size_t characters;
    } lengths[] = {{"http-r15-1", 150}, {"http-r15-2", 327}, {"http-r15-3", 259},
                   {"http-r18-1", 200}, {"http-r18-2", 377}, {"http-r18-3", 309}};
    for (const Length& l : lengths) {
        std::string text = KidsValueDefault(l.value);
        EXPECT_EQ(QString::fromStdString(text).size(), static_cast<qsizetype>(l.characters)) << l.value;
        EXPECT_EQ(text.rfind("1,*", 0), 0u) << l.value;
    }
    std::string long15 = "1,*" + std::string(517, 'a');  // 520 bytes
    RegWriteString(kProductSettingsKey, "http-r15-2", long15);
    std::string bars;
    for (int i = 0; i < 259; ++i) bars += "ー";
    RegWriteString(kProductSettingsKey, "http-r15-3", "1,*" + bars + "*");  // 522 bytes in code page 932
    std::string bytes = KidsRecordBytes(KidsRecord::R15);
    testsupport::WriteFile(Kids(), bytes);
    auto records = cwfs::ParseKidsRecords(Kids());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].entries[0].pattern, platform::Utf8ToCp932(KidsValueDefault("http-r15-1").substr(2)));
    EXPECT_EQ(records[0].entries[1].pattern, long15.substr(2));
    std::string cut;
    for (int i = 0; i < 258; ++i) cut += "\x81\x5B";
    EXPECT_EQ(records[0].entries[2].pattern, "*" + cut);
    EXPECT_EQ(records[0].entries[3].pattern, std::optional<std::string>("*<div id=\"rslt-zero\">*"));
}

}  // namespace
