// The mail filter pages of the settings window: attachment archiving, the
// spam check and the notification mail.
#pragma once

namespace panel {

void RegisterMailFilterPages();

}  // namespace panel
