#include <array>
#include <cctype>

#include "common/ascii_case.h"
#include "filters/spam/date_check.h"

namespace spam {
namespace {

constexpr std::array<std::string_view, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}
    void SkipBlanks() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    }
    void Skip(std::string_view chars) {
        while (pos_ < text_.size() && chars.find(text_[pos_]) != std::string_view::npos) ++pos_;
    }
    // A decimal number (at most 9 digits count), 0 when none.
    int Number() {
        int value = 0, digits = 0;
        for (; pos_ < text_.size() && IsDigit(text_[pos_]); ++pos_) {
            if (digits++ < 9) value = value * 10 + (text_[pos_] - '0');
        }
        return value;
    }
    std::string_view Word() {
        size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != ' ' && text_[pos_] != '\t') ++pos_;
        return text_.substr(start, pos_ - start);
    }
    void SkipPast(char c) {
        size_t at = text_.find(c, pos_);
        pos_ = at == std::string_view::npos ? pos_ : at + 1;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

int MonthNumber(std::string_view word) {
    for (size_t i = 0; i < kMonths.size(); ++i) {
        if (common::StartsWithIgnoringAsciiCase(word, kMonths[i])) return static_cast<int>(i) + 1;
    }
    return 0;
}

}  // namespace

MailDate ParseMailDate(std::string_view text) {
    MailDate date;
    Reader reader(text);
    if (text.find(',') != std::string_view::npos) reader.SkipPast(',');
    reader.SkipBlanks();
    int first = reader.Number();
    if (first < 32) {
        date.day = first;
        reader.SkipBlanks();
        date.month = MonthNumber(reader.Word());
        reader.SkipBlanks();
        date.year = reader.Number();
    } else {
        date.year = first;
        reader.Skip("- \t");
        date.month = reader.Number();
        reader.Skip("- \t");
        date.day = reader.Number();
    }
    reader.SkipBlanks();
    date.hour = reader.Number();
    reader.Skip(":");
    date.minute = reader.Number();
    reader.Skip(":");
    date.second = reader.Number();
    return date;
}

}  // namespace spam
