// The control panel's string table.
#pragma once

#include <QString>

namespace panel {

// The text of a string id, empty for an id the table does not hold.
QString LoadString(int id);

}  // namespace panel
