// The backup tool's console: texts in the terminal's character set, paths
// as their bytes, and a count of the failures reported, which decides the
// completion lines and the exit code.
#pragma once

#include <string>
#include <string_view>

namespace backup {

class Console {
public:
    // Texts of the program (UTF-8 in the source), converted to the locale's
    // character set when that is neither UTF-8 nor plain ASCII.
    void Say(std::string_view utf8);
    // Registry lines as the export file holds them (code page 932).
    void SayCp932(std::string_view cp932);
    // File names and other bytes that must reach the terminal unchanged.
    void SayBytes(std::string_view bytes);
    // One failure line on standard error: "<what>: <reason>".
    void Fail(std::string_view what, std::string_view reason);

    int failures() const { return failures_; }

private:
    int failures_ = 0;
};

// The process-wide console of the tool.
Console& Out();

}  // namespace backup
