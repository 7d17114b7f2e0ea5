#include "panel/framework/cp932_text.h"

#include "platform/codepage/codepage.h"

namespace panel {

QString FromCp932(std::string_view bytes) { return QString::fromStdString(platform::Cp932ToUtf8(bytes)); }

std::string ToCp932(const QString& text) { return platform::Utf8ToCp932(text.toStdString()); }

bool FitsCp932(const QString& text) { return FromCp932(ToCp932(text)) == text; }

}  // namespace panel
