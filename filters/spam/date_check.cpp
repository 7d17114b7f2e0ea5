#include "filters/spam/date_check.h"

#include "common/filter_text.h"
#include "common/local_time.h"
#include "filters/spam/mark_mail.h"
#include "filters/spam/spam_log.h"

namespace spam {

int QueryRightDate(const std::string& mailPath) {
    std::string value = common::ReadHeaderValue("date:", mailPath, 1024, common::FilterTextUser::SpamCheck);
    WriteLogF("QueryRightDate(%s)\n", value.c_str());
    if (!value.empty() && ParseMailDate(value).year == common::NowLocal().year) return 0;
    WriteLogF("Hit [Date:] Header. (%s)\n", value.c_str());
    MarkSpamMail(mailPath);
    return 1;
}

}  // namespace spam
