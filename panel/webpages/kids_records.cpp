#include "panel/webpages/kids_records.h"

#include <unistd.h>

#include <map>

#include "common/publish_file.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/registry_ops.h"
#include "platform/codepage/codepage.h"

namespace panel {
namespace {

constexpr DWORD kValueBuffer = 1042;
constexpr size_t kLineLimit = 520;

// The search page of the kids' search portal; "%s" is the visited page,
// "%%" a "%" of the URL.
#define KIDS_PORTAL_URL "http://kids-search.example.jp/search/search.php?MT=http%%3A%%2F%%2F%s"
#define NO_RESULT_PATTERN "1,*<div id=\"rslt-zero\">*"

// Words of the portal's answer page are given by their EUC-JP bytes, each
// written as the half-width katakana whose code page 932 byte it is.
const std::map<std::string, std::string>& Defaults() {
    static const std::map<std::string, std::string> defaults = {
        {"http-r12", "R12フィルタ," KIDS_PORTAL_URL},
        {"http-r12-1", "1,*(､ｳ､ﾎ*"},
        {"http-r12-2", NO_RESULT_PATTERN},
        {"http-r15", "R15フィルタ," KIDS_PORTAL_URL},
        {"http-r15-1",
         "1,*<div class=\"kids-result\">*\\r\\n*<span class=\"rating\">*ﾍｭｳｲ*</span>*<p class=\"desc"
         "\">*､ｳ､ﾎ･ﾚ｡ｼ･ｸ､ﾋ､ﾏ*</p>*\\r\\n*<div class=\"foot\">*</div>*\\r\\n*       *"},
        {"http-r15-2",
         "1,*<table class=\"kids-list\" cellpadding=\"0\" cellspacing=\"0\">*\\r\\n*<tr>*\\r\\n*<td "
         "class=\"mark\"><img src=\"/img/ng.gif\" alt=\"*ﾉﾔﾅｬﾀﾚ*\"></td>*\\r\\n*<td class=\"note\">*"
         "､ｳ､ﾎ*･ｵ･､･ﾈ*､ﾋ､ﾏ*ﾍｭｳｲ*ﾉｽｼｨ*､ﾇ､ｹ*</td>*<p class=\"desc\">*､ｳ､ﾎ･ﾚ｡ｼ･ｸ､ﾋ､ﾏ*</p>*\\r\\n*<div c"
         "lass=\"foot\">*</div>*\\r\\n*<span class=\"kind\">*ｾｮｳﾘﾀｸ*</span>*\\r\\n*               *"},
        {"http-r15-3",
         "1,*<li class=\"site\">*\\r\\n*<a href=\"http://%s\" class=\"url\">*</a>*\\r\\n*<span class"
         "=\"judge\">*ｻﾒｶ｡*､ﾋ､ﾏ*ﾉﾔﾅｬﾀﾚ*</span>*<p class=\"desc\">*､ｳ､ﾎ･ﾚ｡ｼ･ｸ､ﾋ､ﾏ*</p>*\\r\\n*<div cl"
         "ass=\"foot\">*</div>*\\r\\n*<span class=\"kind\">*ｾｮｳﾘﾀｸ*</span>*\\r\\n*<ul class=\"nav\">"
         "*</ul>*\\r\\n*  *"},
        {"http-r15-4", NO_RESULT_PATTERN},
        {"http-r18", "R18フィルタ," KIDS_PORTAL_URL},
        {"http-r18-1",
         "1,*<div class=\"kids-result\">*\\r\\n*<span class=\"rating\">*ﾍｭｳｲ*</span>*\\r\\n*<span cl"
         "ass=\"level\">R18</span>*<p class=\"desc\">*､ｳ､ﾎ･ﾚ｡ｼ･ｸ､ﾋ､ﾏ*</p>*\\r\\n*<div class=\"foot\""
         ">*</div>*\\r\\n*                     *"},
        {"http-r18-2",
         "1,*<table class=\"kids-list\" cellpadding=\"0\" cellspacing=\"0\">*\\r\\n*<tr>*\\r\\n*<td "
         "class=\"mark\"><img src=\"/img/ng18.gif\" alt=\"*ﾉﾔﾅｬﾀﾚ*\"></td>*\\r\\n*<td class=\"note\""
         ">*､ｳ､ﾎ*･ｵ･､･ﾈ*､ﾋ､ﾏ*ﾍｭｳｲ*ﾉｽｼｨ*､ﾇ､ｹ*</td>*\\r\\n*<td class=\"level\">R18</td>*<p class=\"des"
         "c\">*､ｳ､ﾎ･ﾚ｡ｼ･ｸ､ﾋ､ﾏ*</p>*\\r\\n*<div class=\"foot\">*</div>*\\r\\n*<span class=\"kind\">*ｾ"
         "ｮｳﾘﾀｸ*</span>*\\r\\n*<ul class=\"nav\">*</ul>*\\r\\n*   *"},
        {"http-r18-3",
         "1,*<li class=\"site\">*\\r\\n*<a href=\"http://%s\" class=\"url\">*</a>*\\r\\n*<span class"
         "=\"judge\">*ｻﾒｶ｡*､ﾋ､ﾏ*ﾉﾔﾅｬﾀﾚ*</span>*\\r\\n*<span class=\"level\">R18</span>*<p class=\"de"
         "sc\">*､ｳ､ﾎ･ﾚ｡ｼ･ｸ､ﾋ､ﾏ*</p>*\\r\\n*<div class=\"foot\">*</div>*\\r\\n*<span class=\"kind\">*"
         "ｾｮｳﾘﾀｸ*</span>*\\r\\n*<ul class=\"nav\">*</ul>*\\r\\n*                *"},
        {"http-r18-4", NO_RESULT_PATTERN},
    };
    return defaults;
}

#undef KIDS_PORTAL_URL
#undef NO_RESULT_PATTERN

// At most `limit` bytes of code page 932 text, never half a character.
std::string CutCp932(const std::string& text, size_t limit) {
    size_t at = 0;
    while (at < text.size()) {
        auto byte = static_cast<unsigned char>(text[at]);
        bool lead = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        size_t width = lead && at + 1 < text.size() ? 2 : 1;
        if (at + width > limit) break;
        at += width;
    }
    return text.substr(0, at);
}

}  // namespace

std::string KidsValueDefault(const std::string& valueName) {
    auto it = Defaults().find(valueName);
    return it == Defaults().end() ? std::string() : it->second;
}

std::string KidsRecordBytes(KidsRecord record) {
    const char* tag = record == KidsRecord::R12 ? "12" : record == KidsRecord::R15 ? "15" : "18";
    std::string bytes = std::string("'[R") + tag + "]\r\n";
    for (int i = 0; i <= 5; ++i) {
        std::string name = std::string("http-r") + tag + (i ? "-" + std::to_string(i) : "");
        std::string value;
        RegReadString(RegRoot::LocalMachine, kProductSettingsKey, name, KidsValueDefault(name), value, kValueBuffer);
        bytes += CutCp932(platform::Utf8ToCp932(value), kLineLimit) + "\r\n";
    }
    return bytes;
}

std::string KidsSearchPath() { return DataFolder() + "kidssearch.ini"; }

void WriteKidsRecord(KidsRecord record) { common::PublishFile(KidsSearchPath(), KidsRecordBytes(record)); }

void DeleteKidsRecord() { ::unlink(KidsSearchPath().c_str()); }

}  // namespace panel
