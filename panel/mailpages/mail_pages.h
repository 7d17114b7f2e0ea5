// The mail proxy settings pages of the SMTP and POP3 sections.
#pragma once

namespace panel {

// Registers the SMTP and POP3 pages with the settings window.
void RegisterMailPages();

}  // namespace panel
