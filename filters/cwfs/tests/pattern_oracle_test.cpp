// Keyword patterns written in the page's encoding, against iconv.
#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>

#include "filters/cwfs/pattern_convert.h"
#include "platform/codepage/codepage.h"

namespace {

// iconv's whole conversion of a text, through one descriptor kept for
// every text: opening one per character made the sweep below a matter of
// many seconds of system time.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Iconv() {
        if (cd_ != kNone) ::iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // nullopt when iconv refuses any of it.
    std::optional<std::string> operator()(const std::string& text) {
        if (cd_ == kNone) return std::nullopt;
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string in = text;
        std::string out(64, '\0');
        char* inPtr = in.data();
        size_t inLeft = in.size();
        char* outPtr = out.data();
        size_t outLeft = out.size();
        size_t done = ::iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
        if (done != static_cast<size_t>(-1)) done = ::iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
        if (done == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
        out.resize(out.size() - outLeft);
        return out;
    }

private:
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
    iconv_t cd_;
};

std::optional<std::string> IconvText(const char* to, const char* from, const std::string& text) {
    return Iconv(to, from)(text);
}

std::string WithoutEscapes(const std::string& text) {
    std::string out;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\x1b') {
            at += text.compare(at, 4, "\x1b$(D") == 0 ? 3 : 2;
            continue;
        }
        out += text[at];
    }
    return out;
}

TEST(PatternConversion, EveryJisX0208CharacterAgreesWithIconv) {
    Iconv toEuc("EUC-JP-MS", "CP932");
    Iconv toJis("ISO-2022-JP", "CP932");
    int compared = 0;
    for (int lead = 0x81; lead <= 0xEF; ++lead) {
        if (lead > 0x9F && lead < 0xE0) continue;
        if (lead == 0x87 || lead == 0xED || lead == 0xEE) continue;  // NEC rows: not JIS X 0208
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) continue;
            const std::string sjis{static_cast<char>(lead), static_cast<char>(trail)};
            const auto euc = toEuc(sjis);
            const auto jis = toJis(sjis);
            // Only characters of the JIS X 0208 plane: two bytes in EUC-JP.
            if (!euc || euc->size() != 2) continue;
            EXPECT_EQ(cwfs::ConvertPatternForPage(sjis, platform::kCodePageEucJp), *euc) << std::hex << lead << trail;
            if (jis) {
                EXPECT_EQ(cwfs::ConvertPatternForPage(sjis, platform::kCodePageIso2022Jp), WithoutEscapes(*jis))
                    << std::hex << lead << trail;
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, 6800);
}

TEST(PatternConversion, PartsHalfWidthKatakanaAndOtherCodePages) {
    const std::string keyword = platform::Utf8ToCp932("*アダルト*ｶﾅ*");
    struct Case {
        unsigned codePage;
        std::string expected;
    } cases[] = {
        {platform::kCodePageEucJp, "*" + *IconvText("EUC-JP", "UTF-8", "アダルト") + "*\x8e\xb6\x8e\xc5*"},
        // Half-width katakana as that code page writes them: full width.
        {platform::kCodePageIso2022Jp,
         "*" + WithoutEscapes(*IconvText("ISO-2022-JP", "UTF-8", "アダルト")) + "*" +
             WithoutEscapes(*IconvText("ISO-2022-JP", "UTF-8", "カナ")) + "*"},
        {platform::kCodePageUtf8, "*アダルト*ｶﾅ*"},
        {932, keyword},
        {0, keyword},
        {28591, keyword},
    };
    for (const auto& c : cases) EXPECT_EQ(cwfs::ConvertPatternForPage(keyword, c.codePage), c.expected) << c.codePage;
    // A lead byte at the end stays alone; ASCII is untouched.
    EXPECT_EQ(cwfs::ConvertPatternForPage("ab\x82", platform::kCodePageEucJp), "ab\x82");
    EXPECT_EQ(cwfs::ConvertPatternForPage("*casino*", platform::kCodePageIso2022Jp), "*casino*");
    // At most 512 bytes of UTF-8 a part, never half a character: 170
    // three-byte characters fit.
    std::string many, expected;
    for (int i = 0; i < 200; ++i) many += "\x82\xa0";
    for (int i = 0; i < 170; ++i) expected += "あ";
    EXPECT_EQ(cwfs::ConvertPatternForPage(many + "*x", platform::kCodePageUtf8), expected + "*x");
}

}  // namespace
