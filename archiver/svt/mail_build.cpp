#include "archiver/svt/mail_build.h"

#include <vector>

#include "archiver/svt/mail_text.h"
#include "archiver/svt/message_id.h"
#include "archiver/svt/mime_rewrite.h"
#include "common/ascii_case.h"
#include "platform/codepage/codepage.h"

namespace archiver {
namespace {

constexpr const char* kBuiltInNotice =
    "このメールには添付ファイルが含まれていました。\r\n\r\n"
    "セキュリティを高める為に、解凍パスワードが必要な圧縮ファイル\r\n"
    "にして送信しました。\r\n"
    "圧縮ファイルはZIP形式ですので拡張子が異なる場合は、'zip'に\r\n"
    "変更して解凍してください。\r\n\r\n"
    "解凍用パスワードは、同名タイトルとして別途送付される、メールに\r\n"
    "記載されています。\r\n";
constexpr const char* kBuiltInPasswordText =
    "同名タイトルとして送付された、メールの解凍用パスワー\r\n"
    "ドをお知らせします。\r\n\r\n"
    "解凍用パスワードは、'%s'です。\r\n";

// Only "%s" is filled; every other character, "%" included, stays as it is.
std::string Fill(std::string line, const std::optional<std::string>& fill) {
    if (!fill) return line;
    for (size_t at = line.find("%s"); at != std::string::npos; at = line.find("%s", at + fill->size()))
        line.replace(at, 2, *fill);
    return line;
}

std::string DotStuffed(std::string line) {
    if (!line.empty() && line[0] == '.') line.insert(0, ".");
    return line;
}

bool WriteArchiveParts(MailJob& job, MailWriter& out) {
    const std::string& b = job.outerBoundary;
    const std::string word = "=?ISO-2022-JP?B?" + job.encodedArchiveName + "?=";
    out.Write("--" + b + "\r\n");
    out.Write("Content-Type: text/plain;\r\n\tcharset=\"iso-2022-jp\";\r\nContent-Transfer-Encoding: 7bit\r\n\r\n");
    if (job.writesNotice()) {
        WriteNoticeText(job.noticeFile(), out, std::nullopt);
        out.Write("\r\n");
    }
    out.Write("--" + b + "\r\n");
    out.Write("Content-Type: application/octet-stream;\r\n\tname=\"" + word + "\"\r\n");
    out.Write("Content-Transfer-Encoding: base64\r\n");
    out.Write("Content-Disposition: attachment;\r\n\tfilename=\"" + word + "\"\r\n\r\n");
    if (!WriteBase64File(job.archivePath, out)) return false;
    out.Write("\r\n--" + b + "--\r\n");
    return true;
}

}  // namespace

void WriteNoticeText(const std::string& noticeFile, MailWriter& out, const std::optional<std::string>& fill) {
    LineReader in(noticeFile);
    if (!in.ok()) {
        const std::string text = Fill(platform::Utf8ToCp932(fill ? kBuiltInPasswordText : kBuiltInNotice), fill);
        out.Write(ToIso2022Jp(text));
        return;
    }
    std::string line;
    while (in.Next(line)) {
        out.Write(DotStuffed(ToIso2022Jp(Fill(std::string(WithoutLineEnd(line)), fill))));
        out.Write("\r\n");
    }
}

void WriteNoticePart(MailWriter& out, const std::string& boundary, const std::string& noticeFile) {
    out.Write("--" + boundary + "\r\n");
    out.Write("Content-Type: message/rfc822;\r\n\r\n");
    out.Write("Content-Type: text/plain;\r\n\tcharset=\"iso-2022-jp\";\r\n");
    out.Write("Content-Transfer-Encoding: 7bit\r\n");
    out.Write("Subject: =?iso-2022-jp?B?GyRCJCpDTiRpJDsbKEI=?=\r\n\r\n");
    WriteNoticeText(noticeFile, out, std::nullopt);
    out.Write("\r\n");
}

bool WriteBase64File(const std::string& file, MailWriter& out) {
    common::FilePtr in(std::fopen(file.c_str(), "rb"));
    if (!in) return false;
    Base64LineWriter writer;
    std::vector<char> buffer(48 * 4096);
    std::string text;
    for (;;) {
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
        text.clear();
        writer.Add(std::string_view(buffer.data(), got), text);
        out.Write(text);
        if (got < buffer.size()) break;
    }
    text.clear();
    writer.Finish(text);
    out.Write(text);
    return !std::ferror(in.get());
}

bool BuildZippedMail(MailJob& job, const std::string& output) {
    MailWriter out(output);
    if (!out.opened()) return false;
    LineReader in(job.workPath);
    if (!in.ok()) return false;
    if (job.settings.perAttachment && !job.signedMail) {
        RewriteMail(job, in, out);
    } else {
        job.encodedArchiveName =
            EncodedArchiveName(DecodeHeaderText(ReadSubject(job.workPath)), job.settings.archiveExtension);
        PartHeader top;
        RewriteHeaderBlock(job, in, top, true);
        out.Write(top.rewritten);
        if (!job.outerBoundary.empty()) {
            if (!WriteArchiveParts(job, out)) job.failed = true;
        } else {
            if (!WriteBase64File(job.archivePath, out)) job.failed = true;
            out.Write("\r\n");
        }
        out.Write(".\r\n");
    }
    return out.Close() && !job.failed;
}

bool BuildPasswordMail(const MailJob& job, const std::string& output) {
    MailWriter out(output);
    LineReader in(job.workPath);
    if (!out.opened() || !in.ok()) return false;
    bool sawMessageId = false;
    std::string field;
    while (NextField(in, field)) {
        if (IsEmptyLine(field)) {
            if (!sawMessageId) {
                out.Write("Message-ID: <" + LocalPartOf(job.id) + "_2@" + job.settings.hostName + ">\r\n");
                out.Write("References: <" + job.id + ">\r\n");
            }
            out.Write(field.empty() ? "\r\n" : field);
            break;
        }
        if (common::StartsWithIgnoringAsciiCase(field, "received:") ||
            common::StartsWithIgnoringAsciiCase(field, "content-disposition:") ||
            common::StartsWithIgnoringAsciiCase(field, "references")) {
            continue;
        }
        if (common::StartsWithIgnoringAsciiCase(field, "content-type:")) {
            out.Write("Content-Type: text/plain;\r\n\tcharset=\"iso-2022-jp\"\r\n");
        } else if (common::StartsWithIgnoringAsciiCase(field, "content-transfer-encoding:")) {
            out.Write("Content-Transfer-Encoding: 7bit\r\n");
        } else if (!sawMessageId && common::StartsWithIgnoringAsciiCase(field, "message-id:")) {
            // The same id marked "_2", and a reference to the mail's own.
            sawMessageId = true;
            std::string marked = field;
            size_t at = marked.find('@');
            if (at == std::string::npos) at = marked.find('>');
            if (at != std::string::npos) marked.insert(at, "_2");
            out.Write(marked);
            out.Write("References:" + field.substr(11));
        } else {
            out.Write(field);
        }
    }
    WriteNoticeText(job.passwordNoticeFile(), out, job.password);
    out.Write("\r\n.\r\n");
    return out.Close();
}

}  // namespace archiver
