#include "sendmail_text.h"

#include <cstdio>
#include <cstdlib>
#include <langinfo.h>
#include <strings.h>

#include "common/text.h"
#include "platform/codepage/codepage.h"
#include "platform/codepage/iconv_convert.h"

namespace sendmail {
namespace {

const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

std::string LocaleToUtf8(std::string_view text) {
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "ANSI_X3.4-1968") == 0)
        return std::string(text);
    std::u16string wide;
    std::string out;
    if (!platform::codepage_detail::IconvDecode(codeset, text, wide) || !platform::EncodeText(platform::kCodePageUtf8, wide, out))
        return std::string(text);
    return out;
}

std::string ToIso2022Jp(std::string_view utf8) {
    std::string out = platform::ConvertText(platform::kCodePageUtf8, platform::kCodePageIso2022Jp, utf8);
    // A failed conversion leaves the text as it was; it then goes unencoded.
    return out.empty() && !utf8.empty() ? std::string(utf8) : out;
}

std::string FormatMailDate(std::time_t now) {
    tzset();
    long bias = -timezone / 60;  // minutes east of UTC, standard time
    std::time_t shifted = now + bias * 60;
    std::tm t{};
    gmtime_r(&shifted, &t);
    char zone[8] = "GMT";
    if (bias != 0) {
        long a = std::labs(bias);
        if (a > 1439) a = 1439;
        std::snprintf(zone, sizeof zone, "%c%02ld%02ld", bias > 0 ? '+' : '-', a / 60, a % 60);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%3s, %02d %3s %04d %02d:%02d:%02d %s", kWeekdays[t.tm_wday], t.tm_mday,
                  kMonths[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec, zone);
    return text;
}

std::string MakeMimeBoundary(std::string_view dateText, std::string_view smtpServer) {
    return "----" + common::TextToBase64(std::string(dateText) + std::string(smtpServer));
}

void WriteSendLog(const std::string& logFile, std::string_view text, std::time_t now) {
    if (logFile.empty()) return;
    std::tm t{};
    localtime_r(&now, &t);
    std::FILE* file = std::fopen(logFile.c_str(), "a");
    if (file == nullptr) return;
    std::fprintf(file, "[%02d/%s/%04d:%02d:%02d:%02d] %.*s\n", t.tm_mday, kMonths[t.tm_mon], t.tm_year + 1900,
                 t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(text.size()), text.data());
    std::fflush(file);
    std::fclose(file);
}

}  // namespace sendmail
