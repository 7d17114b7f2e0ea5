#include "engine/http/response_reader.h"

#include <algorithm>
#include <cctype>

#include "common/ascii_case.h"
#include "common/text.h"
#include "engine/core/header_text.h"

namespace engine {

namespace {

// Calls visit for each comma-separated token of a header value, trimmed.
template <typename Visit>
void ForEachToken(std::string_view value, Visit visit) {
    while (!value.empty()) {
        size_t comma = value.find(',');
        visit(common::TrimBlanks(value.substr(0, comma)));
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
}

std::optional<uint64_t> ParseLength(std::string_view value) {
    value = common::TrimBlanks(value);
    if (value.empty() || value.size() > 19) return std::nullopt;
    uint64_t n = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    return n;
}

}  // namespace

size_t FindHeadEnd(std::string_view text, size_t searchFrom) {
    for (size_t lf = text.find('\n', searchFrom); lf != std::string_view::npos; lf = text.find('\n', lf + 1)) {
        if (lf + 1 < text.size() && text[lf + 1] == '\n') return lf + 2;
        if (lf + 2 < text.size() && text[lf + 1] == '\r' && text[lf + 2] == '\n') return lf + 3;
    }
    return std::string_view::npos;
}

ResponseHead ParseResponseHead(std::string_view head) {
    ResponseHead parsed;
    bool first = true;
    bool lengthSeen = false;
    bool lengthsDiffer = false;
    while (!head.empty()) {
        size_t lf = head.find('\n');
        std::string_view line = head.substr(0, lf);
        head.remove_prefix(lf == std::string_view::npos ? head.size() : lf + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first) {
            first = false;
            parsed.http10 = common::StartsWithIgnoringAsciiCase(line, "HTTP/1.0");
            size_t blank = line.find(' ');
            if (blank != std::string_view::npos) {
                std::string_view code = common::TrimBlanks(line.substr(blank + 1)).substr(0, 3);
                if (code.size() == 3 && std::all_of(code.begin(), code.end(), ::isdigit))
                    parsed.status = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
            }
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view name = common::TrimBlanks(line.substr(0, colon));
        std::string_view value = line.substr(colon + 1);
        if (common::EqualsIgnoringAsciiCase(name, "Content-Length")) {
            std::optional<uint64_t> length = ParseLength(value);
            if (!lengthSeen) parsed.contentLength = length;
            else if (length != parsed.contentLength) lengthsDiffer = true;
            lengthSeen = true;
        } else if (common::EqualsIgnoringAsciiCase(name, "Transfer-Encoding")) {
            ForEachToken(value, [&](std::string_view token) {
                if (common::EqualsIgnoringAsciiCase(token, "chunked")) parsed.chunked = true;
            });
        } else if (common::EqualsIgnoringAsciiCase(name, "Connection")) {
            ForEachToken(value, [&](std::string_view token) {
                if (common::EqualsIgnoringAsciiCase(token, "close")) parsed.connectionClose = true;
                if (common::EqualsIgnoringAsciiCase(token, "keep-alive")) parsed.connectionKeepAlive = true;
            });
        }
    }
    // Lengths that disagree tell nothing of where the body ends: should a
    // caller read on, the body runs up to the close.
    if (lengthsDiffer) parsed.contentLength.reset();
    parsed.lengthsDiffer = lengthsDiffer;
    return parsed;
}

size_t ResponseReader::Feed(std::string_view bytes, std::string& body) {
    if (ended_) return 0;
    if (!headComplete_) return FeedHead(bytes, body);
    return FeedBody(bytes, body);
}

size_t ResponseReader::FeedHead(std::string_view bytes, std::string& body) {
    size_t used = 0;
    // Interim heads may follow one another within the same bytes.
    while (!headComplete_) {
        const size_t before = pending_.size();
        pending_.append(bytes);
        size_t end = FindHeadEnd(pending_, before >= 2 ? before - 2 : 0);
        // Anything that does not begin as a status line, or whose head does
        // not end in bounds, has no head: the whole response is body and
        // runs up to the close. Interim heads count against the same bound,
        // so a server that sends them without end can't fill the memory.
        bool statusLine = common::StartsWithIgnoringAsciiCase("HTTP/", std::string_view(pending_).substr(0, 5));
        size_t headBytes = headText_.size() + (end == std::string::npos ? pending_.size() : end);
        if (!statusLine || headBytes > kResponseHeadReadLimit) {
            TakeAllAsBody(body);
            return used + bytes.size();
        }
        if (end == std::string::npos) return used + bytes.size();
        // The head ends inside these bytes (the earlier ones held no end).
        size_t usedHere = end - before;
        TakeHead(end);
        used += usedHere;
        bytes.remove_prefix(usedHere);
    }
    return used + FeedBody(bytes, body);
}

// No final head: every byte so far, interim heads too, is body.
void ResponseReader::TakeAllAsBody(std::string& body) {
    headComplete_ = true;
    framing_ = BodyFraming::Close;
    body.append(headText_);
    body.append(pending_);
    std::string().swap(headText_);
    std::string().swap(pending_);
}

void ResponseReader::TakeHead(size_t end) {
    std::string_view head(pending_.data(), end);
    headText_.append(head);
    ResponseHead parsed = ParseResponseHead(head);
    pending_.clear();
    if (parsed.status >= 100 && parsed.status < 200 && parsed.status != 101) {
        // An interim answer: the final head follows.
        return;
    }
    head_ = parsed;
    headComplete_ = true;
    headFound_ = true;
    StartBody();
}

void ResponseReader::StartBody() {
    if (bodyless_ || head_.status == 101 || head_.status == 204 || head_.status == 304) {
        framing_ = BodyFraming::None;
    } else if (head_.chunked) {
        framing_ = BodyFraming::Chunked;
    } else if (head_.contentLength) {
        framing_ = BodyFraming::Length;
        lengthLeft_ = *head_.contentLength;
    } else {
        framing_ = BodyFraming::Close;
    }
    if (framing_ == BodyFraming::None || (framing_ == BodyFraming::Length && lengthLeft_ == 0)) ended_ = true;
}

size_t ResponseReader::FeedBody(std::string_view bytes, std::string& body) {
    switch (framing_) {
    case BodyFraming::None:
        return 0;
    case BodyFraming::Length: {
        size_t take = static_cast<size_t>(std::min<uint64_t>(lengthLeft_, bytes.size()));
        body.append(bytes.substr(0, take));
        lengthLeft_ -= take;
        if (lengthLeft_ == 0) ended_ = true;
        return take;
    }
    case BodyFraming::Chunked: {
        size_t used = chunked_.Feed(bytes, body);
        if (chunked_.done()) ended_ = true;
        if (chunked_.failed()) ended_ = truncated_ = true;
        return used;
    }
    case BodyFraming::Close:
        body.append(bytes);
        return bytes.size();
    }
    return 0;
}

void ResponseReader::FinishAtClose(std::string& body) {
    if (ended_) return;
    if (!headComplete_) {
        // No head end ever came: what arrived is all body.
        TakeAllAsBody(body);
    } else if (framing_ != BodyFraming::Close) {
        truncated_ = true;
    }
    ended_ = true;
}

bool ResponseReader::reusable() const {
    if (!headFound_ || !ended_ || truncated_) return false;
    if (framing_ == BodyFraming::Close || head_.status == 101 || head_.connectionClose) return false;
    return !head_.http10 || head_.connectionKeepAlive;
}

}  // namespace engine
