// The web proxy pages of the settings window.
#pragma once

namespace panel {

// Registers every HTTP, FTP and SOCKS page with the settings window.
void RegisterWebPages();

}  // namespace panel
