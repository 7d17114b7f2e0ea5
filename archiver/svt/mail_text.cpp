#include "archiver/svt/mail_text.h"

#include "common/filter_text.h"
#include "common/text.h"
#include "platform/codepage/codepage.h"

namespace archiver {
namespace {

constexpr size_t kBase64LineBytes = 48;
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// One line of Base64 with its CR LF, padded as the last line needs.
void AppendBase64Line(std::string_view bytes, std::string& out) {
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
        const char quad[4] = {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63],
                              kAlphabet[v & 63]};
        out.append(quad, 4);
    }
    if (i < bytes.size()) out += common::TextToBase64(bytes.substr(i));
    out += "\r\n";
}

// Base64 values of every byte: 0-63, -1 for "=", -2 for the rest.
struct Base64Table {
    signed char value[256];
    Base64Table() {
        for (int c = 0; c < 256; ++c) value[c] = static_cast<signed char>(common::Base64Value(static_cast<char>(c)));
    }
};

}  // namespace

std::string DecodeHeaderText(std::string_view value) {
    return common::ConvertToCodePage(value, common::FilterTextUser::Archiver);
}

std::string ToIso2022Jp(std::string_view localText) {
    return platform::ConvertText(platform::kCodePageShiftJis, platform::kCodePageIso2022Jp, localText);
}

std::string Iso2022JpEncodedWord(std::string_view localText) {
    return "=?ISO-2022-JP?B?" + common::TextToBase64(ToIso2022Jp(localText)) + "?=";
}

std::string EncodedArchiveName(std::string_view decodedSubject, std::string_view extension) {
    std::string name(decodedSubject);
    name += '.';
    name += extension;
    return common::TextToBase64(ToIso2022Jp(name));
}

void Base64LineWriter::Add(std::string_view bytes, std::string& out) {
    if (!pending_.empty()) {
        const size_t take = std::min(bytes.size(), kBase64LineBytes - pending_.size());
        pending_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (pending_.size() < kBase64LineBytes) return;
        AppendBase64Line(pending_, out);
        pending_.clear();
    }
    out.reserve(out.size() + bytes.size() / 3 * 4 + bytes.size() / kBase64LineBytes * 2 + 8);
    while (bytes.size() >= kBase64LineBytes) {
        AppendBase64Line(bytes.substr(0, kBase64LineBytes), out);
        bytes.remove_prefix(kBase64LineBytes);
    }
    pending_.assign(bytes);
}

void Base64LineWriter::Finish(std::string& out) {
    if (pending_.empty()) return;
    AppendBase64Line(pending_, out);
    pending_.clear();
}

void Base64StreamDecoder::Add(std::string_view text, std::string& out) {
    static const Base64Table table;
    out.reserve(out.size() + text.size() / 4 * 3 + 3);
    for (char c : text) {
        if (ended_) return;
        const int value = table.value[static_cast<unsigned char>(c)];
        if (value == -2) continue;
        if (value == -1) {
            // "=" ends the data; a held group of two or three gives its bytes.
            if (held_ >= 2) out += static_cast<char>((quad_[0] << 2) | (quad_[1] >> 4));
            if (held_ == 3) out += static_cast<char>(((quad_[1] & 0xF) << 4) | (quad_[2] >> 2));
            ended_ = true;
            return;
        }
        quad_[held_++] = static_cast<unsigned>(value);
        if (held_ == 4) {
            out += static_cast<char>((quad_[0] << 2) | (quad_[1] >> 4));
            out += static_cast<char>(((quad_[1] & 0xF) << 4) | (quad_[2] >> 2));
            out += static_cast<char>(((quad_[2] & 0x3) << 6) | quad_[3]);
            held_ = 0;
        }
    }
}

}  // namespace archiver
