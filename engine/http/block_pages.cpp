#include "engine/http/block_pages.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "common/http_date.h"
#include "common/list_file.h"
#include "engine/tls/tls.h"
#include "platform/codepage/codepage.h"

namespace engine {

namespace {

using common::StartsWithIgnoringAsciiCase;

// A head that has not ended within this many bytes is taken for none.
constexpr size_t kHeadSearchLimit = 65536;
constexpr size_t kCopyBlock = 16384;

// The built-in page around its two comments and its message, written here
// in UTF-8 and sent as Shift_JIS.
std::string BuiltInPage(const char* comment, const char* message) {
    std::string page = std::string("<html><head><meta http-equiv=content-type content=\"text/html; charset=shitf-jis\">"
                                   "<title>Blocked %s</title><!-- ") +
                       comment + "--></head><body><font color=\"gray\" size=\"2\">" + message +
                       "<br><font size=\"1\">%s</font></font><!-- " + comment + "--></body></html>\r\n";
    return platform::Utf8ToCp932(page);
}

bool IsEmptyLine(std::string_view line) { return line == "\r\n" || line == "\n"; }

// Reads the head's lines, line ends included, through the empty line that
// ends it, leaving the file at the body. False when the head does not end
// within kHeadSearchLimit bytes.
bool ReadHeadLines(FILE* file, std::vector<std::string>& lines) {
    size_t total = 0;
    std::string line;
    while (total < kHeadSearchLimit) {
        common::ReadLinePiece(file, kHeadSearchLimit - total, line);
        total += line.size();
        if (line.empty() || line.back() != '\n') return false;
        lines.push_back(line);
        if (IsEmptyLine(line)) return true;
    }
    return false;
}

// The server's head made into the head of a page of bodyLength bytes.
std::string BlockedHead(const std::vector<std::string>& lines, size_t bodyLength) {
    const std::string lengthLine = "Content-Length: " + std::to_string(bodyLength) + "\r\n";
    std::string head;
    bool lengthWritten = false;
    bool typeWritten = false;
    for (const std::string& line : lines) {
        if (StartsWithIgnoringAsciiCase(line, "content-length:")) {
            head += lengthLine;
            lengthWritten = true;
        } else if (StartsWithIgnoringAsciiCase(line, "content-type:")) {
            head += "Content-Type: text/html; charset=shift_jis\r\n";
            typeWritten = true;
        } else if (StartsWithIgnoringAsciiCase(line, "transfer-encoding:") ||
                   StartsWithIgnoringAsciiCase(line, "content-encoding:")) {
        } else {
            if (IsEmptyLine(line)) {
                if (!lengthWritten) head += lengthLine;
                if (!typeWritten) head += "Content-Type: text/html\r\n";
            }
            head += line;
        }
    }
    return head;
}

bool WriteWhole(const std::string& path, const std::string& content) {
    common::FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    bool written = std::fwrite(content.data(), 1, content.size(), file.get()) == content.size();
    return std::fclose(file.release()) == 0 && written;
}

// The target keeps what follows the head of the copy.
bool KeepBody(const std::string& targetPath, const std::string& copyPath) {
    common::FilePtr copy(std::fopen(copyPath.c_str(), "rb"));
    if (!copy) return false;
    std::vector<std::string> lines;
    if (!ReadHeadLines(copy.get(), lines)) return true;  // no head: the whole response is the body
    common::FilePtr target(std::fopen(targetPath.c_str(), "wb"));
    if (!target) return false;
    std::vector<char> block(kCopyBlock);
    bool written = true;
    size_t n = 0;
    while ((n = std::fread(block.data(), 1, block.size(), copy.get())) > 0) {
        written = written && std::fwrite(block.data(), 1, n, target.get()) == n;
    }
    return std::fclose(target.release()) == 0 && written;
}

bool WritePage(BlockPageMode mode, const std::string& targetPath, const std::string& copyPath, bool copied,
               std::string_view finding, const std::string& dataFolder) {
    const std::string body = FillBlockPage(LoadBlockPageTemplate(mode, dataFolder), finding);
    std::vector<std::string> lines;
    if (copied) {
        common::FilePtr copy(std::fopen(copyPath.c_str(), "rb"));
        if (!copy || !ReadHeadLines(copy.get(), lines)) lines.clear();
    }
    if (lines.empty()) lines = {"HTTP/1.1 200 OK\r\n", "\r\n"};
    return WriteWhole(targetPath, BlockedHead(lines, body.size()) + body);
}

}  // namespace

const std::string& BuiltInVirusPage() {
    static const std::string page = BuiltInPage("ここにはウイルス名が記載されます。削除してはいけません。",
                                                "アンチウイルス機能により、遮断されました。");
    return page;
}

const std::string& BuiltInWordPage() {
    static const std::string page = BuiltInPage("ここには禁止ワードが記載されます。削除してはいけません。",
                                                "コンテンツフィルタ機能により、遮断されました。");
    return page;
}

std::string LoadBlockPageTemplate(BlockPageMode mode, const std::string& dataFolder) {
    if (mode == BlockPageMode::SplitBody) return "";
    const bool virus = mode == BlockPageMode::Virus;
    common::FilePtr file(std::fopen((dataFolder + (virus ? kVirusTemplateName : kWordTemplateName)).c_str(), "rb"));
    if (!file) return virus ? BuiltInVirusPage() : BuiltInWordPage();
    std::string text(kBlockTemplateLimit, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file.get()));
    return text;
}

std::string FillBlockPage(std::string_view pageTemplate, std::string_view finding) {
    std::string page;
    size_t from = 0;
    for (size_t at; (at = pageTemplate.find("%s", from)) != std::string_view::npos; from = at + 2) {
        page.append(pageTemplate.substr(from, at - from));
        page.append(finding);
    }
    page.append(pageTemplate.substr(from));
    return page;
}

std::string UploadVirusReply(const std::string& date, std::string_view finding, const std::string& dataFolder) {
    const std::string body = FillBlockPage(LoadBlockPageTemplate(BlockPageMode::Virus, dataFolder), finding);
    // The 407 status is what clients of this proxy have always been sent
    // for a refused upload.
    return "HTTP/1.1 407 Proxy Authentication Required\r\n"
           "Date: " + date + "\r\n"
           "Server: VELQOR Server-HPROXY/v2.15\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: text/html\r\n"
           "Proxy-Connection: close\r\n"
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

bool SendVirusPage(const ConnectionRecord& connection, std::string_view finding, const EngineSettings& settings) {
    const std::string reply = UploadVirusReply(common::FormatRfc822Date(), finding, settings.dataFolder);
    return SecureSendData(connection.ClientSocket, connection.Tls.client.get(), reply.data(), reply.size(),
                          settings.timeouts.clientPlain) == static_cast<ssize_t>(reply.size());
}

bool MakeBlockPage(BlockPageMode mode, const std::string& targetPath, const std::string& copyPath,
                   std::string_view finding, const std::string& dataFolder) {
    std::error_code ec;
    const bool copied =
        std::filesystem::copy_file(targetPath, copyPath, std::filesystem::copy_options::overwrite_existing, ec);
    if (mode == BlockPageMode::SplitBody) return copied && KeepBody(targetPath, copyPath);
    // A blocked response is replaced even when its copy could not be made:
    // none of it may reach the client.
    return WritePage(mode, targetPath, copyPath, copied, finding, dataFolder) && copied;
}

}  // namespace engine
