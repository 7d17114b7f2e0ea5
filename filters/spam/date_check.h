// The Date check (-d): a mail without a Date header, or dated in another
// year than the current local one, counts as spam.
#pragma once

#include <string>
#include <string_view>

namespace spam {

struct MailDate {
    int year = 0;  // as written: "26" stays 26
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// "Tue, 8 Dec 2026 10:00:00 +0900", "8 Dec 26 10:00:00", "2026-12-08 10:00:00".
// The zone is not applied; what cannot be read stays 0.
MailDate ParseMailDate(std::string_view text);

// 1: hit, the mail has been marked; 0: dated this year.
int QueryRightDate(const std::string& mailPath);

}  // namespace spam
