#include "archiver/svt/mime_rewrite.h"

#include <sys/stat.h>

#include "archiver/svt/mail_build.h"
#include "archiver/svt/mail_text.h"
#include "archiver/svt/message_id.h"
#include "archiver/svt/zip_one_file.h"
#include "common/ascii_case.h"
#include "common/hex_digit.h"
#include "common/filter_text.h"

namespace archiver {
namespace {

// Pieces of an RFC 2231 parameter looked for (filename*0*=, *1*=, ...).
constexpr int kParameterPieceLimit = 100;

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = common::LowerAscii(c);
    return out;
}

bool IsShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// The field's value unfolded: the text after the name, each continuation
// line appended without its leading blanks, line ends dropped.
std::string UnfoldedValue(const std::string& field) {
    std::string out;
    size_t at = field.find(':');
    at = at == std::string::npos ? field.size() : at + 1;
    bool lineStart = true;
    for (; at < field.size(); ++at) {
        const char c = field[at];
        if (c == '\r' || c == '\n') {
            lineStart = true;
            continue;
        }
        if (lineStart && (c == ' ' || c == '\t')) continue;
        lineStart = false;
        out += c;
    }
    return out;
}

// Where parameter= begins as a parameter of its own (not the tail of a
// longer name such as "filename=" for "name=").
size_t FindParameter(const std::string& lowerField, const std::string& key) {
    for (size_t at = lowerField.find(key); at != std::string::npos; at = lowerField.find(key, at + 1)) {
        const char before = at == 0 ? ';' : lowerField[at - 1];
        if (before == ';' || before == ' ' || before == '\t' || before == '\n' || before == '"') return at;
    }
    return std::string::npos;
}

std::string ValueAt(const std::string& field, size_t at) {
    while (at < field.size() && (field[at] == ' ' || field[at] == '\t' || field[at] == '\r' || field[at] == '\n'))
        ++at;
    std::string value;
    if (at < field.size() && field[at] == '"') {
        for (++at; at < field.size() && field[at] != '"'; ++at) {
            if (field[at] == '\r' || field[at] == '\n') continue;
            value += field[at];
        }
        return value;
    }
    // An unquoted value is a token: it ends at a semicolon or a blank.
    const size_t end = field.find_first_of("; \t\r\n", at);
    return field.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// RFC 2231 filename pieces joined and decoded into the local code page;
// empty when the field has none.
std::string ExtendedFilename(const std::string& field) {
    const std::string lower = Lower(field);
    std::string joined;
    bool extended = false;
    bool found = false;
    auto take = [&](const std::string& key, bool isExtended) {
        const size_t at = FindParameter(lower, key);
        if (at == std::string::npos) return false;
        joined += ValueAt(field, at + key.size());
        extended = extended || isExtended;
        return found = true;
    };
    if (!take("filename*=", true)) {
        for (int n = 0; n < kParameterPieceLimit; ++n) {
            const std::string piece = "filename*" + std::to_string(n);
            if (!take(piece + "*=", true) && !take(piece + "=", false)) break;
        }
    }
    if (!found) return {};
    if (!extended) return joined;
    // charset'language'percent-encoded-bytes
    std::string charset;
    const size_t first = joined.find('\'');
    const size_t second = first == std::string::npos ? std::string::npos : joined.find('\'', first + 1);
    if (second != std::string::npos) {
        charset = joined.substr(0, first);
        joined.erase(0, second + 1);
    }
    std::string bytes;
    for (size_t i = 0; i < joined.size(); ++i) {
        if (joined[i] == '%' && i + 2 < joined.size() && common::HexValue(joined[i + 1]) >= 0 &&
            common::HexValue(joined[i + 2]) >= 0) {
            bytes += static_cast<char>(common::HexValue(joined[i + 1]) * 16 + common::HexValue(joined[i + 2]));
            i += 2;
        } else {
            bytes += joined[i];
        }
    }
    return common::ToLocalCodePage(common::CodePageFromCharset(charset, nullptr, common::FilterTextUser::Archiver),
                                   bytes);
}

bool ContainsAny(const std::string& lower, std::initializer_list<const char*> words) {
    for (const char* w : words) {
        if (lower.find(w) != std::string::npos) return true;
    }
    return false;
}

int TransferKindOf(const PartHeader& h) {
    const std::string type = Lower(h.typeRaw), cte = Lower(h.cteRaw);
    for (const std::string* text : {&type, &cte}) {
        if (text->find("base64") != std::string::npos) return kBase64;
        if (text->find("quoted-printable") != std::string::npos) return kQuotedPrintable;
        if (text->find("x-uuencode") != std::string::npos) return kUuencode;
        if (text->find("binhex") != std::string::npos) return kBinhex;
    }
    return kOtherEncoding;
}

// A name parameter with the archive extension: a name written as encoded
// words becomes one encoded word of the whole new name, so that readers do
// not show the extension as a separate word.
std::string ArchiveName(const std::string& raw, const std::string& decoded, const std::string& ext) {
    if (raw.find("=?") != std::string::npos) return Iso2022JpEncodedWord(decoded + "." + ext);
    return raw + "." + ext;
}

// The content headers of a part as they are written.
std::string ContentHeaders(const MailJob& job, const PartHeader& h, bool top) {
    const std::string& ext = job.settings.archiveExtension;
    std::string out;
    // A single-part mail that becomes multipart/mixed: a multipart head
    // carries neither a disposition nor a transfer encoding of its own.
    const bool multipartHead = h.seenType && h.attachment && !h.boundary.empty();
    if (h.seenType) {
        if (multipartHead || (top && job.signedMail))
            out += "Content-Type: multipart/mixed;\r\n boundary=\"" + h.boundary + "\"\r\n";
        else if (h.attachment && !h.name.empty())
            out += "Content-Type: application/x-zip-compressed;\r\n name=\"" + ArchiveName(h.name, h.nameDecoded, ext) +
                   "\"\r\n";
        else if (h.attachment)
            out += "Content-Type: application/x-zip-compressed;\r\n";
        else
            out += h.typeRaw;
    }
    if (h.seenDisposition && !multipartHead) {
        if (!h.attachment)
            out += h.dispositionRaw;
        else if (h.filenameFromPieces && !h.name.empty())
            out += "Content-Disposition: attachment;\r\n filename=\"" + ArchiveName(h.name, h.nameDecoded, ext) +
                   "\"\r\n";
        else if (h.filenameFromPieces)
            out += "Content-Disposition: attachment;\r\n filename=\"" +
                   Iso2022JpEncodedWord(h.filenameDecoded + "." + ext) + "\"\r\n";
        else if (!h.filename.empty())
            out += "Content-Disposition: attachment;\r\n filename=\"" +
                   ArchiveName(h.filename, h.filenameDecoded, ext) + "\"\r\n";
        else
            out += "Content-Disposition: attachment;\r\n";
    }
    // An attachment's zip always goes as Base64, also when the part had no
    // transfer encoding of its own.
    if (h.attachment && !multipartHead)
        out += "Content-Transfer-Encoding: base64\r\n";
    else if (h.seenCte && !multipartHead)
        out += h.cteRaw;
    return out;
}

bool IsBoundaryLine(std::string_view line, const std::string& boundary, bool* closing) {
    if (boundary.empty()) return false;
    line = WithoutLineEnd(line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (line.size() < boundary.size() + 2 || line.substr(0, 2) != "--" || line.substr(2, boundary.size()) != boundary)
        return false;
    const std::string_view rest = line.substr(boundary.size() + 2);
    if (rest.empty()) {
        *closing = false;
        return true;
    }
    if (rest == "--") {
        *closing = true;
        return true;
    }
    return false;
}

bool IsEndOfData(std::string_view line) { return WithoutLineEnd(line) == "."; }

// Writes a boundary line that ends a part, the notice part first when it
// closes the mail's parts.
void WriteBoundaryLine(MailJob& job, MailWriter& out, const std::string& line, bool closing) {
    if (closing && job.writesNotice() && !job.noticeWritten) {
        WriteNoticePart(out, job.outerBoundary, job.noticeFile());
        job.noticeWritten = true;
    }
    out.Write(line);
}

enum class PartEnd { Boundary, ClosingBoundary, EndOfData, EndOfFile };

// The next line of a part's body; false at the part's end: the outer
// boundary line (handed to the caller), the mail's "." line (left unread) or
// the end of the file.
bool NextBodyLine(MailJob& job, LineReader& in, std::string& line, PartEnd& end, std::string& boundaryLine) {
    end = PartEnd::EndOfFile;
    if (!in.Next(line)) return false;
    bool closing = false;
    if (IsBoundaryLine(line, job.outerBoundary, &closing)) {
        boundaryLine = line;
        end = closing ? PartEnd::ClosingBoundary : PartEnd::Boundary;
        return false;
    }
    if (IsEndOfData(line)) {
        in.PushBack(line);
        end = PartEnd::EndOfData;
        return false;
    }
    return true;
}

// Copies a part's body unchanged.
PartEnd CopyUntilBoundary(MailJob& job, LineReader& in, MailWriter& out, std::string& boundaryLine) {
    std::string line;
    PartEnd end;
    while (NextBodyLine(job, in, line, end, boundaryLine)) out.Write(line);
    return end;
}

std::string EntryNameFor(const PartHeader& h, bool top, int kind) {
    std::string name = !h.nameDecoded.empty()       ? h.nameDecoded
                       : !h.filenameDecoded.empty() ? h.filenameDecoded
                       : top && !h.subjectDecoded.empty() ? h.subjectDecoded
                                                    : std::string("temp.bin");
    name = CleanEntryName(name);
    if (kind == kUuencode) name += ".uue";
    if (kind == kBinhex) name += ".hqx";
    return name;
}

// Decodes the attachment's body into the file, up to the outer boundary
// line (kept for the caller) or the mail's "." line. The line end in front
// of a boundary line belongs to the boundary, not to the part: a line end
// of a text attachment is written only when more of the part follows it.
PartEnd ExtractBody(MailJob& job, LineReader& in, int kind, const std::string& file, std::string& boundaryLine,
                    bool& written) {
    MailWriter out(file);
    Base64StreamDecoder base64;
    std::string line, bytes, heldLineEnd;
    PartEnd end;
    while (NextBodyLine(job, in, line, end, boundaryLine)) {
        // The relay's captured data is dot-stuffed.
        std::string_view text = line;
        if (text.size() >= 2 && text[0] == '.' && text[1] == '.') text.remove_prefix(1);
        if (kind == kBase64) {
            bytes.clear();
            base64.Add(text, bytes);
            out.Write(bytes);
            continue;
        }
        const std::string_view content = WithoutLineEnd(text);
        const std::string_view lineEnd = text.substr(content.size());
        out.Write(heldLineEnd);
        if (kind == kQuotedPrintable) {
            // A soft line break ("=" at the end) joins the lines.
            const bool soft = !content.empty() && content.back() == '=';
            out.Write(common::DecodeQuotedPrintable(content));
            heldLineEnd.assign(soft ? std::string_view() : lineEnd);
        } else {
            out.Write(content);
            heldLineEnd.assign(lineEnd);
        }
    }
    // Without a boundary after it (a single-part mail) the last line end is the part's own.
    if (end != PartEnd::Boundary && end != PartEnd::ClosingBoundary) out.Write(heldLineEnd);
    written = out.Close();
    return end;
}

// One attachment: decoded, packed and written as Base64 of its archive; when
// it cannot be packed, the part is written as it came.
PartEnd WriteAttachment(MailJob& job, LineReader& in, MailWriter& out, const PartHeader& h, bool top,
                        const std::string& headerText, std::string& boundaryLine) {
    const int kind = TransferKindOf(h);
    const std::string file = job.extractFolder + "/part" + std::to_string(++job.extractCounter);
    const long bodyStart = in.Tell();
    bool written = false;
    const PartEnd end = ExtractBody(job, in, kind, file, boundaryLine, written);
    const bool packed =
        written && ZipOneFile({file, job.archivePath, EntryNameFor(h, top, kind), job.password});
    std::remove(file.c_str());
    if (packed) {
        out.Write(headerText);
        if (!WriteBase64File(job.archivePath, out)) job.failed = true;
        out.Write("\r\n");
        std::remove(job.archivePath.c_str());
        return end;
    }
    // The part as it came: its own header block and its body unchanged.
    out.Write(top ? h.typeRaw + h.dispositionRaw + h.cteRaw + "\r\n" : h.rawHeader);
    const long resume = in.Tell();
    if (bodyStart < 0 || !in.Seek(bodyStart)) {
        job.failed = true;
        return end;
    }
    std::string unused;
    CopyUntilBoundary(job, in, out, unused);
    if (!in.Seek(resume)) job.failed = true;
    return end;
}

// After a part: the boundary line that ended it, or the rest of the mail.
bool FinishPart(MailJob& job, LineReader& in, MailWriter& out, PartEnd end, const std::string& boundaryLine) {
    if (end == PartEnd::Boundary) {
        WriteBoundaryLine(job, out, boundaryLine, false);
        return true;
    }
    if (end == PartEnd::ClosingBoundary) WriteBoundaryLine(job, out, boundaryLine, true);
    // The epilogue and the "." line, unchanged.
    std::string line;
    while (in.Next(line)) out.Write(line);
    return false;
}

// One part below the outer boundary; false once the mail's parts have ended.
bool RewritePart(MailJob& job, LineReader& in, MailWriter& out) {
    PartHeader h;
    if (!RewriteHeaderBlock(job, in, h, false)) return false;
    std::string boundaryLine;
    if (h.attachment && h.boundary.empty()) {
        return FinishPart(job, in, out, WriteAttachment(job, in, out, h, false, h.rewritten, boundaryLine),
                          boundaryLine);
    }
    // Text parts and nested multiparts, with all their inner parts (whose
    // boundary lines are not ours), are copied as they are.
    out.Write(h.rewritten);
    const PartEnd end = CopyUntilBoundary(job, in, out, boundaryLine);
    return FinishPart(job, in, out, end, boundaryLine);
}

}  // namespace

std::string HeaderParameter(const std::string& field, const std::string& parameter) {
    const std::string key = Lower(parameter) + "=";
    const size_t at = FindParameter(Lower(field), key);
    return at == std::string::npos ? std::string() : ValueAt(field, at + key.size());
}

std::string CleanEntryName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (IsShiftJisLead(c) && i + 1 < name.size()) {
            out += name[i];
            out += name[++i];
            continue;
        }
        const bool unsafe = c < 0x20 || c == 0x7F || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) !=
                                                          std::string_view::npos;
        out += unsafe ? '_' : static_cast<char>(c);
    }
    if (out.find_first_not_of('.') == std::string::npos) return "temp.bin";
    return out;
}

std::string ReadSubject(const std::string& path) {
    LineReader in(path);
    std::string field;
    while (NextField(in, field) && !IsEmptyLine(field)) {
        if (common::StartsWithIgnoringAsciiCase(field, "subject:")) return UnfoldedValue(field);
    }
    return {};
}

bool RewriteHeaderBlock(MailJob& job, LineReader& in, PartHeader& h, bool top) {
    std::string field;
    bool any = false;
    while (NextField(in, field)) {
        any = true;
        h.rawHeader += field;
        if (IsEmptyLine(field)) {
            h.emptyLine = field;
            break;
        }
        // The mail's "." line never belongs to a header block.
        if (IsEndOfData(field)) {
            h.rawHeader.resize(h.rawHeader.size() - field.size());
            in.PushBack(field);
            break;
        }
        if (!h.seenSubject && common::StartsWithIgnoringAsciiCase(field, "subject:")) {
            h.seenSubject = true;
            h.rewritten += field;
            h.subjectDecoded = DecodeHeaderText(UnfoldedValue(field));
            if (top) job.encodedArchiveName = EncodedArchiveName(h.subjectDecoded, job.settings.archiveExtension);
        } else if (!h.seenMessageId && common::StartsWithIgnoringAsciiCase(field, "message-id:")) {
            h.seenMessageId = true;
            h.rewritten += field;
        } else if (!h.seenType && common::StartsWithIgnoringAsciiCase(field, "content-type:")) {
            h.seenType = true;
            h.typeRaw = field;
            h.name = HeaderParameter(field, "name");
            h.boundary = HeaderParameter(field, "boundary");
        } else if (!h.seenDisposition && common::StartsWithIgnoringAsciiCase(field, "content-disposition:")) {
            h.seenDisposition = true;
            h.dispositionRaw = field;
            h.filename = HeaderParameter(field, "filename");
            if (h.filename.empty()) {
                h.filenameDecoded = ExtendedFilename(field);
                h.filenameFromPieces = !h.filenameDecoded.empty();
            }
        } else if (!h.seenCte && common::StartsWithIgnoringAsciiCase(field, "content-transfer-encoding:")) {
            h.seenCte = true;
            h.cteRaw = field;
        } else {
            h.rewritten += field;
        }
    }
    if (!any) return false;

    if (h.seenType) {
        if (top && h.boundary.empty()) {
            h.boundary = "--" + LocalPartOf(MakeMessageId(job.settings.hostName));
            h.boundaryMadeHere = true;
        }
        if (top) job.outerBoundary = h.boundary;
        const std::string type = Lower(h.typeRaw.substr(0, h.typeRaw.find(';')));
        const std::string lowerType = Lower(h.typeRaw);
        const bool container =
            ContainsAny(type, {"text/", "multipart/alternative", "multipart/related", "multipart/mixed",
                               "multipart/signed", "application/x-pkcs", "message/partial"}) ||
            ContainsAny(lowerType, {"multipart/alternative", "multipart/related", "multipart/mixed",
                                    "multipart/signed", "application/x-pkcs", "message/partial"});
        h.attachment = !container || !h.name.empty();
    }
    h.nameDecoded = DecodeHeaderText(h.name);
    if (!h.filenameFromPieces) h.filenameDecoded = DecodeHeaderText(h.filename);

    std::string tail;
    if (top && !h.seenMessageId) tail += "Message-ID: <" + job.id + ">\r\n";
    tail += ContentHeaders(job, h, top);
    if (top) tail += "X-Sorvant: yes\r\n";
    h.rewritten += tail + h.emptyLine;
    return true;
}

void RewriteMail(MailJob& job, LineReader& in, MailWriter& out) {
    PartHeader top;
    if (!RewriteHeaderBlock(job, in, top, true)) return;
    ::mkdir(job.extractFolder.c_str(), 0700);
    std::string boundaryLine;
    if (top.attachment && top.boundaryMadeHere) {
        // A single-part mail whose body is the attachment.
        out.Write(top.rewritten);
        out.Write("--" + job.outerBoundary + "\r\n");
        PartHeader asPart = top;
        asPart.boundary.clear();
        const std::string headerText = ContentHeaders(job, asPart, false) + "\r\n";
        WriteAttachment(job, in, out, top, true, headerText, boundaryLine);
        if (job.writesNotice()) WriteNoticePart(out, job.outerBoundary, job.noticeFile());
        out.Write("--" + job.outerBoundary + "--\r\n");
        std::string line;
        while (in.Next(line)) out.Write(line);
    } else if (!top.boundary.empty() && !top.boundaryMadeHere) {
        out.Write(top.rewritten);
        // The preamble, then the parts one after the other.
        const PartEnd end = CopyUntilBoundary(job, in, out, boundaryLine);
        if (FinishPart(job, in, out, end, boundaryLine)) {
            while (RewritePart(job, in, out)) {
            }
        }
    } else {
        out.Write(top.rewritten);
        std::string line;
        while (in.Next(line)) out.Write(line);
    }
    ::rmdir(job.extractFolder.c_str());
}

}  // namespace archiver
