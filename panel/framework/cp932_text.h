// The panel's texts and the CP932 bytes the settings files, the registry
// and the pipes hold.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace panel {

QString FromCp932(std::string_view bytes);
std::string ToCp932(const QString& text);
// Whether CP932 has a code for every character of the text, so it is
// stored as it is shown.
bool FitsCp932(const QString& text);

}  // namespace panel
