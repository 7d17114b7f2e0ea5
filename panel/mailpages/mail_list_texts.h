// The text a new list file of the mail pages receives: the clients'
// admission lists of SMTP and POP3, the SMTP blocklist zones and the
// addresses exempt from them. None of them has an active row.
#pragma once

#include <string_view>

#include "panel/framework/list_file_texts.h"

namespace panel {

// "smtp-con.ini", "pop3-con.ini", "smtp-conbl.db", "smtp-conwl.db";
// empty for other names.
ListFileTemplate MailListTemplate(std::string_view fileName);

}  // namespace panel
