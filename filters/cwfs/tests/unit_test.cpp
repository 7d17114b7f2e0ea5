// The word filter's pieces that need no server: the request split, the
// charset, the rating levels and labels, and the kids-check page rules.
#include <gtest/gtest.h>

#include "filters/cwfs/body_chunks.h"
#include "filters/cwfs/body_decoding.h"
#include "filters/cwfs/cwfs_settings.h"
#include "filters/cwfs/kids_check.h"
#include "filters/cwfs/pics_check.h"
#include "filters/cwfs/rating_levels.h"
#include "filters/cwfs/trigram_index.h"
#include "filters/cwfs/word_filter_request.h"
#include "test_support.h"

namespace {

using namespace cwfs;

TEST(CharsetOf, ContentTypeValues) {
    const std::pair<const char*, const char*> cases[] = {
        {"text/html; charset=euc-jp", "euc-jp"},
        {"text/html; charset=\"utf-8\"", "utf-8"},
        {"text/html; charset= shift_jis ", "shift_jis"},
        {"text/html; charset=iso-2022-jp; format=flowed", "iso-2022-jp"},
        {"text/html;charset=utf-8;", "utf-8"},
        {"text/html", "fallback"},
    };
    for (auto [value, charset] : cases) EXPECT_EQ(CharsetOf(value, "fallback"), charset) << value;
}

TEST(RatingLevels, WordsFromLevels) {
    const RatingLevels all = ParseLevelList("4,4,4,4,3,2");
    EXPECT_EQ(all.level[kOther], 3);
    EXPECT_EQ(all.word[kGroupN], 0x40u | 0x80000000u | 0x4000000u);
    EXPECT_EQ(all.word[kGroupC], 0x60000040u);
    const RatingLevels strict = ParseLevelList("0;0;0;0;0;0");
    for (int group = 0; group < kGroupCount; ++group)
        EXPECT_EQ(strict.word[group], group == kGroupC ? 0x80000040u : 0x40u) << group;
    const RatingLevels odd = ParseLevelList("9,-1,3");  // out of range adds nothing; missing reads 0
    EXPECT_EQ(odd.level[kNudity], 9);
    EXPECT_EQ(odd.word[kGroupN], 0x40u);
    EXPECT_EQ(odd.word[kGroupV], 0x40u | 0xE000000u);
    EXPECT_EQ(odd.word[kGroupC], 0x80000040u);

    CwfsSettings settings;
    ReadOptions({"-l=4,4,4,4,3,2", "-m=64", "", "-x=1"}, settings);
    EXPECT_TRUE(settings.ratingCheck);
    EXPECT_EQ(settings.levels.level[kCommunication], 2);
    EXPECT_EQ(settings.bufferKiB, 64u);
    for (auto [arg, kib] : {std::pair{"-m=0", kDefaultBufferKiB}, {"-m=-5", kDefaultBufferKiB},
                            {"-M=99999999999", kMaxBufferKiB}, {"-m=x", kDefaultBufferKiB}}) {
        ReadOptions({arg}, settings);
        EXPECT_EQ(settings.bufferKiB, kib) << arg;
    }
}

struct LabelCase {
    const char* levels;
    std::string ratings;  // the label's vocabulary and ratings
    int result;
};

std::string LabelPage(const std::string& labels) {
    return "<html><head><meta http-equiv=\"PICS-Label\" content='(PICS-1.1 " + labels +
           ")'></head><body></body></html>";
}

TEST(PicsLabel, VocabulariesAgainstLevels) {
    const std::string icra = std::string("\"") + kIcraV02Service + "\" l gen true for \"http://h/\" r ";
    const std::string safe = std::string("\"") + kSafeSurfService + "\" l r ";
    const std::string rsac = std::string("\"") + kRsacService + "\" l r ";
    const std::string enc = std::string("\"") + kEncService + "\" l r ";
    const std::string iaj = std::string("\"") + kIaJapanService + "\" l r ";
    const std::string v03 = std::string("\"") + kIcraV03Service + "\" l r ";
    const LabelCase cases[] = {
        {"4,0,4,4,3,2", icra + "(na 1)", 0},  // word n 0x80000040 is not below a's bit
        {"3,0,4,4,3,2", icra + "(na 1)", 1},
        {"3,0,4,4,3,2", icra + "(nb 1)", 0},
        {"3,0,4,4,3,2", icra + "(na 0)", 0},
        {"0,0,0,0,0,0", icra + "(nz 1)", 0},
        {"0,0,0,0,0,0", icra + "(ca 1)", 0},
        {"0,0,0,0,0,1", icra + "(ca 1)", 1},
        {"2,2,2,2,2,2", safe + "(ss~~004 3)", 0},
        {"2,2,2,2,2,2", safe + "(ss~~004 4)", 1},
        {"2,2,2,2,2,2", safe + "(ss~~003 4)", 1},
        {"2,2,2,2,2,2", rsac + "(n 2 s 2 v 2 l 3)", 1},
        {"2,2,2,2,2,2", rsac + "(n 2 s 2 v 2 l 2)", 0},
        {"2,2,2,2,1,2", enc + "(e 2)", 1},
        {"2,2,2,2,2,2", iaj + "(lv 3)", 1},
        {"2,2,2,2,2,2", iaj + "(lv 2)", 0},
        {"2,2,2,2,2,1", v03 + "(c 2)", 1},
        // The form ICRA's label generator publishes.
        {"2,2,2,2,2,1", "\"http://www.icra.org/pics/vocabularyv03/\" l gen true for \"http://h/\" r (n 0 c 2)", 1},
        {"2,2,2,2,2,2", "\"http://www.icra.org/pics/vocabularyv03/\" l gen true for \"http://h/\" r (n 0 c 2)", 0},
        {"2,2,2,2,2,2", "\"http://other.example/\" l r (n 4)", 0},
    };
    for (const auto& c : cases) {
        Settings().levels = ParseLevelList(c.levels);
        std::string chunk = LabelPage(c.ratings);
        std::string label;
        EXPECT_EQ(Query_PICS_LABEL(chunk, std::string("h/"), label, std::nullopt), c.result)
            << c.levels << " " << c.ratings;
    }
}

TEST(PicsLabel, MarkerHeadEndAndElement) {
    Settings().levels = ParseLevelList("2,2,2,2,2,2");
    const std::string twoPages = std::string("\"") + kRsacService +
                                 "\" l for \"http://other/\" r (n 4) l for \"http://h/a.html\" r (n 0)";
    struct Case {
        std::string page;
        std::optional<std::string> url;
        int result;
        std::string label;
    } cases[] = {
        {LabelPage(twoPages), std::string("h/a.html"), 0, std::string(kRsacService) + " r (n 0)"},
        {LabelPage(twoPages), std::nullopt, 1, std::string(kRsacService) + " r (n 4)"},
        {"<html><head></head><body><meta http-equiv=\"pics-label\" content='\"" + std::string(kRsacService) +
             "\" r (n 4)'></body>",
         std::nullopt, 0, ""},
        {"<meta http-equiv=pics-labels content='(\"" + std::string(kRsacService) + "\" r (n 4))'>", std::nullopt, 1,
         std::string(kRsacService) + " r (n 4)"},
    };
    for (auto& c : cases) {
        std::string label;
        EXPECT_EQ(Query_PICS_LABEL(c.page, c.url, label, std::nullopt), c.result) << c.page;
        EXPECT_EQ(label, c.label);
    }
}

TEST(KidsCheck, WhichPagesAreChecked) {
    const std::pair<const char*, bool> cases[] = {
        {"host.example/", true},
        {"host.example/index.html", true},
        {"host.example/INDEX.HTM", true},
        {"host.example/dir/page", true},
        {"host.example/img/a.gif", false},
        {"host.example/a.cgi?x=1", false},
        {"host.example/?", false},
        {"city.example.go.jp/", false},
        {"www.example.edu", false},
        {"school.example.ac.jp/a.html", false},
        {"a.htm", true},
        {"ab/cd", true},
        {"a.gif", false},
        {"a/b/", false},  // four characters or fewer
        {"abcd", false},
        {"", false},
    };
    for (auto [url, checked] : cases) EXPECT_EQ(NeedsKidsCheck(url), checked) << url;
}

TEST(KidsCheck, QueryPathAndEntryPatterns) {
    EXPECT_EQ(KidsQueryPath("/check?u=%s", "host.example/a/b.html"), "/check?u=host.example%2Fa%2Fb.html");
    EXPECT_EQ(KidsQueryPath("/search/search.php?MT=http%%3A%%2F%%2F%s", "h/a"),
              "/search/search.php?MT=http%3A%2F%2Fh%2Fa");
    EXPECT_EQ(KidsQueryPath("/q?a=%d&u=%s&v=%s", "h/"), "/q?a=%d&u=h%2F&v=%s");
    EXPECT_EQ(PrepareEntryPattern("*<a href=\"http://%s\">*\\r\\n*", "h/a.html"), "*<a href=\"http://h/a.html\">*\r\n*");
    EXPECT_EQ(PrepareEntryPattern("*100%%*", "h/"), "*100%%*");  // no "%s": not a format
    EXPECT_EQ(PrepareEntryPattern("*%n%s*", "h/"), "*%nh/*");
}

TEST(KidsCheck, RecordsAsTheControlPanelWritesThem) {
    testsupport::TempDir dir;
    // "'[R12]", the record line, two patterns and three empty lines; then a
    // second record that a hand edit added.
    testsupport::WriteFile(dir / "kidssearch.ini",
                           "'[R12]\r\nR12filter,http://kids.example/search/search.php?MT=http%%3A%%2F%%2F%s\r\n"
                           "1,*(\xb1\xb2*\r\n1,*<div id=\"rslt-zero\">*\r\n\r\n\r\n\r\n"
                           "' another\r\nsecond,http://other.example/q?%s\r\n0,*safe*\r\nnoflag\r\n"
                           "7,*x*\r\n1,a\r\n1,b\r\n\r\nno comma here\r\n");
    const std::vector<KidsRecord> records = ParseKidsRecords(dir / "kidssearch.ini");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].name, "R12filter");
    EXPECT_EQ(records[0].url, "http://kids.example/search/search.php?MT=http%%3A%%2F%%2F%s");
    EXPECT_EQ(records[0].entries[0].pattern, "*(\xb1\xb2*");
    EXPECT_EQ(records[0].entries[1].pattern, "*<div id=\"rslt-zero\">*");
    EXPECT_FALSE(records[0].entries[2].pattern);
    EXPECT_EQ(records[1].entries[0].flag, 0);
    EXPECT_EQ(records[1].entries[1].flag, 1);
    EXPECT_FALSE(records[1].entries[1].pattern);
    EXPECT_EQ(records[1].entries[2].flag, 1);
    EXPECT_EQ(records[1].entries[4].pattern, "b");  // five entries at most
}

TEST(TrigramIndex, RulesOutOnlyWhatCannotMatch) {
    const TrigramIndex index("Welcome to the CASINO royale, \x82\xa0\x82\xa2 here");
    const std::pair<const char*, bool> cases[] = {
        {"*casino*", true},
        {"*Welcome*royale*", true},
        {"*\x82\xa0\x82\xa2*", true},
        {"*poker*", false},
        {"*casino*poker*", false},
        {"*ab*", true},        // parts too short to rule out
        {"*royale casino*", false},
        {"", true},
    };
    for (auto [pattern, may] : cases) EXPECT_EQ(index.MayContain(TrigramIndex::GramsOf(pattern)), may) << pattern;
    EXPECT_FALSE(TrigramIndex("").MayContain(TrigramIndex::GramsOf("*abc*")));
}

TEST(MetaCharset, TheHeadOfThePageNamesIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>t</title>", "utf-8"},
        {"<html><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=EUC-JP\"></head>", "euc-jp"},
        {"<meta http-equiv=content-type content='text/html;charset=Shift_JIS'>", "shift_jis"},
        {"<meta charset=utf-8/>", "utf-8"},
        {"<html><head><meta name=\"viewport\" content=\"width=device-width\"></head>", ""},
        // Only the head counts.
        {"<html><head></head><body><meta charset=\"euc-jp\">", ""},
        {"<p>charset=utf-8</p>", ""},
    };
    for (auto [page, charset] : cases) EXPECT_EQ(MetaCharset(page), charset) << page;
}

TEST(BodyDecoding, FramingAndCompressionUndone) {
    const std::string page = "<html><body>play casino games</body></html>\n";
    std::string gzip;
    {
        testsupport::TempDir dir;
        testsupport::WriteFile(dir / "p", page);
        gzip = testsupport::RunCommand("gzip -c " + dir / "p").output;
    }
    struct Case {
        const char* what;
        std::string raw;
        BodyCoding coding;
        std::string decoded;
    };
    const Case cases[] = {
        {"chunked", "5\r\nhello\r\n6;ext=1\r\n world\r\n0\r\nTrailer: x\r\n\r\n", {true, Compression::None},
         "hello world"},
        {"chunk sizes in upper case, LF only", "A\nabcdefghij\n0\n\n", {true, Compression::None}, "abcdefghij"},
        // What follows broken framing is read as it stands.
        {"broken framing", "5\r\nhelloXX casino", {true, Compression::None}, "helloXX casino"},
        {"cut short", "10\r\nshort", {true, Compression::None}, "short"},
        {"gzip", gzip, {false, Compression::Gzip}, page},
        {"gzip, chunked", "8\r\n" + gzip.substr(0, 8) + "\r\n" + [&] {
             char size[16];
             std::snprintf(size, sizeof size, "%zx\r\n", gzip.size() - 8);
             return std::string(size);
         }() + gzip.substr(8) + "\r\n0\r\n\r\n",
         {true, Compression::Gzip}, page},
        {"gzip cut short", gzip.substr(0, gzip.size() - 12), {false, Compression::Gzip}, page.substr(0, 20)},
        {"not compressed at all", page, {false, Compression::Gzip}, page},
        {"not compressed, deflate", page, {false, Compression::Deflate}, page},
    };
    for (const Case& c : cases) {
        const std::string decoded = DecodeBody(c.raw, c.coding, 1 << 20);
        // A stream cut short gives what decoded up to the cut.
        const bool cut = std::string(c.what) == "gzip cut short";
        EXPECT_EQ(cut ? decoded.substr(0, c.decoded.size()) : decoded, c.decoded) << c.what;
    }
    // The output is bounded, however far the data would inflate.
    const std::string zeros = testsupport::RunCommand("head -c 50000000 /dev/zero | gzip -c").output;
    EXPECT_EQ(DecodeBody(zeros, {false, Compression::Gzip}, 1 << 20).size(), size_t{1} << 20);
    EXPECT_EQ(CodingOf("chunked", "gzip").compression, Compression::Gzip);
    EXPECT_TRUE(CodingOf("gzip, chunked", "").chunked);
    EXPECT_EQ(CodingOf("", "br").compression, Compression::None);
    EXPECT_EQ(CodingOf("", "x-gzip").compression, Compression::Gzip);
}

TEST(BodyChunks, OverlapKeepsAWordWholeAndNulBytesAreText) {
    testsupport::TempDir dir;
    // Chunks of 63 bytes: "casino" straddles the end of the first.
    const std::string body = std::string(60, 'a') + "casino" + std::string(3, '\0') + "poker" + std::string(70, 'b');
    testsupport::WriteFile(dir / "r", "HTTP/1.1 200 OK\r\n\r\n" + body);
    for (bool decoded : {false, true}) {
        std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen((dir / "r").c_str(), "rb"), std::fclose);
        ASSERT_TRUE(SkipResponseHead(file.get()));
        std::vector<char> buffer(64);
        // The same body in a chunked framing is decoded in memory.
        if (decoded) {
            char size[16];
            std::snprintf(size, sizeof size, "%zx\r\n", body.size());
            testsupport::WriteFile(dir / "c", "HTTP/1.1 200 OK\r\n\r\n" + std::string(size) + body + "\r\n0\r\n\r\n");
            file.reset(std::fopen((dir / "c").c_str(), "rb"));
            ASSERT_TRUE(SkipResponseHead(file.get()));
        }
        BodyChunks chunks(file.get(), buffer, BodyCoding{decoded, Compression::None});
        chunks.SetOverlap(5);
        std::string joined;
        std::string_view chunk;
        size_t count = 0;
        bool casino = false, poker = false;
        for (size_t i = 0; chunks.Get(i, chunk); ++i, ++count) {
            casino = casino || chunk.find("casino") != std::string_view::npos;
            poker = poker || chunk.find("poker") != std::string_view::npos;
            joined += std::string(chunk.substr(i == 0 ? 0 : 5));
        }
        EXPECT_TRUE(casino) << decoded;
        EXPECT_TRUE(poker) << decoded;
        EXPECT_EQ(joined, body) << decoded;
        EXPECT_EQ(count, 3u) << decoded;
    }
}

}  // namespace
