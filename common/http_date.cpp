#include "common/http_date.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace common {

namespace {

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kLongWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                         "Thursday", "Friday", "Saturday"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr size_t kMaxDateText = 255;
constexpr long kMaxZoneMinutes = 1439;

// The zone's offset east of UTC at instant t, daylight saving left out.
long LocalStandardOffsetSeconds(std::time_t t) {
    tzset();
    std::tm local{};
    if (!localtime_r(&t, &local)) return 0;
    long offset = local.tm_gmtoff;
    if (local.tm_isdst > 0) offset -= 3600;
    return offset;
}

std::tm LocalStandardTime(std::time_t t, long offsetSeconds) {
    std::time_t shifted = t + offsetSeconds;
    std::tm tm{};
    gmtime_r(&shifted, &tm);
    return tm;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// A left-to-right reader over the date text.
class Scanner {
public:
    explicit Scanner(std::string_view s) : s_(s) {}

    bool AtEnd() const { return i_ >= s_.size(); }
    char Peek() const { return AtEnd() ? '\0' : s_[i_]; }
    bool Take(char c) {
        if (Peek() != c) return false;
        ++i_;
        return true;
    }
    // One or more blanks.
    bool Blanks() {
        size_t start = i_;
        while (Peek() == ' ' || Peek() == '\t') ++i_;
        return i_ > start;
    }
    std::string_view Word() {
        size_t start = i_;
        while ((Peek() >= 'A' && Peek() <= 'Z') || (Peek() >= 'a' && Peek() <= 'z')) ++i_;
        return s_.substr(start, i_ - start);
    }
    // A number of minDigits to maxDigits digits; the count read goes to *digits.
    std::optional<int> Number(int minDigits, int maxDigits, int* digits = nullptr) {
        size_t start = i_;
        int value = 0;
        while (Peek() >= '0' && Peek() <= '9' && static_cast<int>(i_ - start) < maxDigits) {
            value = value * 10 + (Peek() - '0');
            ++i_;
        }
        int count = static_cast<int>(i_ - start);
        if (count < minDigits || (Peek() >= '0' && Peek() <= '9')) return std::nullopt;
        if (digits) *digits = count;
        return value;
    }

private:
    std::string_view s_;
    size_t i_ = 0;
};

struct Fields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    long zoneSeconds = 0;  // east of UTC
};

std::optional<int> MonthNumber(std::string_view word) {
    for (int i = 0; i < 12; ++i)
        if (word == kMonths[i]) return i + 1;
    return std::nullopt;
}

bool IsWeekday(std::string_view word) {
    for (int i = 0; i < 7; ++i)
        if (word == kWeekdays[i] || word == kLongWeekdays[i]) return true;
    return false;
}

bool ReadYear(Scanner& in, int* year) {
    int digits = 0;
    auto y = in.Number(2, 4, &digits);
    if (!y || digits == 3) return false;
    // Two-digit years (RFC 850) are 1970 to 2069.
    *year = digits == 2 ? (*y >= 70 ? 1900 + *y : 2000 + *y) : *y;
    return true;
}

bool ReadTime(Scanner& in, Fields* f) {
    auto h = in.Number(1, 2);
    if (!h || !in.Take(':')) return false;
    auto m = in.Number(2, 2);
    if (!m || !in.Take(':')) return false;
    auto s = in.Number(2, 2);
    if (!s) return false;
    f->hour = *h;
    f->minute = *m;
    f->second = *s;
    return true;
}

// What follows the time: nothing, a zone name or a numeric offset.
bool ReadZone(Scanner& in, Fields* f) {
    in.Blanks();
    if (in.AtEnd()) return true;
    char sign = in.Peek();
    if (sign == '+' || sign == '-') {
        in.Take(sign);
        auto hhmm = in.Number(4, 4);
        if (!hhmm || *hhmm % 100 > 59) return false;
        long minutes = (*hhmm / 100) * 60 + *hhmm % 100;
        f->zoneSeconds = (sign == '+' ? 1 : -1) * minutes * 60;
    } else {
        std::string_view name = in.Word();
        if (name != "GMT" && name != "UTC" && name != "UT" && name != "Z") return false;
    }
    in.Blanks();
    return in.AtEnd();
}

// "06 Nov 1994 08:49:37 GMT" (after an RFC 1123 weekday, or without one)
// and "06-Nov-94 08:49:37 GMT" (after an RFC 850 weekday).
bool ReadDayFirst(Scanner& in, Fields* f) {
    auto day = in.Number(1, 2);
    if (!day) return false;
    f->day = *day;
    if (in.Take('-')) {
        auto month = MonthNumber(in.Word());
        if (!month || !in.Take('-') || !ReadYear(in, &f->year)) return false;
        f->month = *month;
    } else {
        if (!in.Blanks()) return false;
        auto month = MonthNumber(in.Word());
        if (!month || !in.Blanks()) return false;
        f->month = *month;
        int digits = 0;
        auto year = in.Number(4, 4, &digits);
        if (!year) return false;
        f->year = *year;
    }
    return in.Blanks() && ReadTime(in, f) && ReadZone(in, f);
}

// "Nov  6 08:49:37 1994" after the asctime weekday.
bool ReadAsctime(Scanner& in, Fields* f) {
    auto month = MonthNumber(in.Word());
    if (!month || !in.Blanks()) return false;
    f->month = *month;
    auto day = in.Number(1, 2);
    if (!day || !in.Blanks() || !ReadTime(in, f) || !in.Blanks()) return false;
    f->day = *day;
    auto year = in.Number(4, 4);
    if (!year) return false;
    f->year = *year;
    in.Blanks();
    return in.AtEnd();
}

// "1994-11-06 08:49:37 +0000".
bool ReadYearFirst(Scanner& in, Fields* f) {
    auto year = in.Number(4, 4);
    if (!year || !in.Take('-')) return false;
    auto month = in.Number(1, 2);
    if (!month || !in.Take('-')) return false;
    auto day = in.Number(1, 2);
    if (!day || !in.Blanks()) return false;
    f->year = *year;
    f->month = *month;
    f->day = *day;
    return ReadTime(in, f) && ReadZone(in, f);
}

std::optional<Fields> ReadDate(std::string_view text) {
    Scanner in(text);
    in.Blanks();
    Fields f;
    bool read = false;
    if (in.Peek() >= '0' && in.Peek() <= '9') {
        Scanner probe = in;
        auto lead = probe.Number(1, 4);
        read = lead && probe.Peek() == '-' && *lead > 31 ? ReadYearFirst(in, &f) : ReadDayFirst(in, &f);
    } else {
        std::string_view weekday = in.Word();
        if (!IsWeekday(weekday)) return std::nullopt;
        if (in.Take(',')) {
            in.Blanks();
            read = ReadDayFirst(in, &f);
        } else {
            read = weekday.size() == 3 && in.Blanks() && ReadAsctime(in, &f);
        }
    }
    if (!read) return std::nullopt;
    if (f.year < 1000 || f.month < 1 || f.month > 12 || f.day < 1 ||
        f.day > DaysInMonth(f.year, f.month) || f.hour > 23 || f.minute > 59 || f.second > 60)
        return std::nullopt;
    return f;
}

}  // namespace

std::string FormatRfc822DateOf(std::time_t t) {
    long offset = LocalStandardOffsetSeconds(t);
    std::tm tm = LocalStandardTime(t, offset);
    long minutes = offset / 60;
    long magnitude = std::labs(minutes);
    if (magnitude > kMaxZoneMinutes) magnitude = kMaxZoneMinutes;
    char zone[8] = "GMT";
    if (minutes != 0)
        std::snprintf(zone, sizeof zone, "%c%02ld%02ld", minutes > 0 ? '+' : '-', magnitude / 60,
                      magnitude % 60);
    char out[64];
    std::snprintf(out, sizeof out, "%3s, %02d %3s %04d %02d:%02d:%02d %s", kWeekdays[tm.tm_wday],
                  tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                  tm.tm_sec, zone);
    return out;
}

std::string FormatRfc822Date(std::time_t* now) {
    std::time_t t = std::time(nullptr);
    if (now) *now = t;
    return FormatRfc822DateOf(t);
}

bool ParseHttpDate(std::string& text, std::time_t* timeOut) {
    std::string_view view(text);
    auto f = ReadDate(view.substr(0, kMaxDateText));
    if (!f) return false;
    long long days = DaysFromCivil(f->year, static_cast<unsigned>(f->month), static_cast<unsigned>(f->day));
    std::time_t instant = static_cast<std::time_t>(days * 86400 + f->hour * 3600 + f->minute * 60 +
                                                   f->second - f->zoneSeconds);
    std::tm tm = LocalStandardTime(instant, LocalStandardOffsetSeconds(instant));
    char out[64];
    std::snprintf(out, sizeof out, "%04d/%02d/%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    text = out;
    if (timeOut) *timeOut = instant;
    return true;
}

}  // namespace common
