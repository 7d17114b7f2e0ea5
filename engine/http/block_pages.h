// The pages the HTTP proxy puts in place of what it blocks: the upload
// virus page sent for an infected request body, and the block pages that
// replace a stored response after a virus finding or a word-filter finding.
// The page texts come from the templates "foundvirus.html" and
// "foundword.html" of the data folder, or from the built-in Shift_JIS pages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/core/connection.h"
#include "engine/core/engine_settings.h"

namespace engine {

enum class BlockPageMode {
    SplitBody = 0,  // no page: the target keeps only the body of the response
    Virus = 1,
    Word = 2,
};

inline constexpr const char* kVirusTemplateName = "foundvirus.html";
inline constexpr const char* kWordTemplateName = "foundword.html";
// Only this much of a template file counts.
inline constexpr size_t kBlockTemplateLimit = 20479;

// The built-in pages, Shift_JIS bytes, each with two "%s" for the finding.
const std::string& BuiltInVirusPage();
const std::string& BuiltInWordPage();

// The template of the mode: its file in dataFolder (the first
// kBlockTemplateLimit bytes) when that opens, else the built-in page.
// SplitBody has none (empty).
std::string LoadBlockPageTemplate(BlockPageMode mode, const std::string& dataFolder);

// The template with every "%s" replaced by the finding, as text: any other
// "%" of the template and of the finding is kept as it is.
std::string FillBlockPage(std::string_view pageTemplate, std::string_view finding);

// The whole upload virus reply (status 407, "Proxy-Connection: close") for
// the finding, dated with date.
std::string UploadVirusReply(const std::string& date, std::string_view finding, const std::string& dataFolder);

// Sends the upload virus reply to the connection's client. False when the
// client could not take it.
bool SendVirusPage(const ConnectionRecord& connection, std::string_view finding, const EngineSettings& settings);

// Rewrites the stored response at targetPath, first copied whole to
// copyPath (overwriting):
//  - SplitBody: the target keeps the body after the empty line that ends the
//    head (CR LF or LF line ends). A response without a head end within the
//    first 64 KiB stays whole, so that all of it is scanned.
//  - Virus, Word: the target becomes the block page: the head with
//    Content-Length and Content-Type for the page (added before the empty
//    line when missing), without Transfer-Encoding and Content-Encoding,
//    then the page for finding. A response without a head end gets a head
//    of its own ("HTTP/1.1 200 OK"), so none of the server's bytes remain.
// False when the files could not be written (SplitBody then leaves the
// target whole).
bool MakeBlockPage(BlockPageMode mode, const std::string& targetPath, const std::string& copyPath,
                   std::string_view finding, const std::string& dataFolder);

}  // namespace engine
