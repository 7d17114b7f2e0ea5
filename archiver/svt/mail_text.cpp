#include "archiver/svt/mail_text.h"

#include "common/filter_text.h"
#include "common/text.h"
#include "platform/codepage/codepage.h"

namespace archiver {
namespace {

constexpr size_t kBase64LineBytes = 48;

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
        out += common::TextToBase64(pending_);
        out += "\r\n";
        pending_.clear();
    }
    while (bytes.size() >= kBase64LineBytes) {
        out += common::TextToBase64(bytes.substr(0, kBase64LineBytes));
        out += "\r\n";
        bytes.remove_prefix(kBase64LineBytes);
    }
    pending_.assign(bytes);
}

void Base64LineWriter::Finish(std::string& out) {
    if (pending_.empty()) return;
    out += common::TextToBase64(pending_);
    out += "\r\n";
    pending_.clear();
}

void Base64StreamDecoder::Add(std::string_view text, std::string& out) {
    for (char c : text) {
        if (ended_) return;
        const int value = common::Base64Value(c);
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
