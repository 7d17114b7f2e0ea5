#include <syslog.h>

#include "platform/service/service.h"

namespace platform {

void ReportEvent(const std::string& source, uint16_t type, const std::string& message) {
    int priority = type == kEventLogErrorType ? LOG_ERR : type == kEventLogWarningType ? LOG_WARNING : LOG_INFO;
    // syslog keeps the ident pointer until closelog.
    openlog(source.c_str(), LOG_PID | LOG_NDELAY, LOG_DAEMON);
    syslog(priority, "%s", message.c_str());
    closelog();
}

}  // namespace platform
