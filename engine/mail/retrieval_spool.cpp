#include "engine/mail/retrieval_spool.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/ascii_case.h"
#include "engine/core/daily_log.h"
#include "engine/linerelay/relay_io.h"
#include "engine/linerelay/reply_completion.h"
#include "platform/io/full_write.h"

namespace engine {
namespace {

// The text of a line kept while its end is awaited: a line this long is
// no line of these protocols, and its tail is all that decides anything.
constexpr std::size_t kSegmentKeep = 64 * 1024;
constexpr std::size_t kSegmentTail = 4 * 1024;
constexpr std::size_t kLineHeadKeep = 256;
constexpr std::size_t kStatusLineLimit = 1 << 20;
// The spool stops while this much of the data folder's disk is still free,
// so the logs, the other connections' spools and the settings can still be
// written; the free space is looked at every few MiB spooled.
constexpr std::uint64_t kDiskReserve = 64ull << 20;
constexpr std::uint64_t kDiskCheckEvery = 8ull << 20;
constexpr std::size_t kFileChunk = 256 * 1024;

bool DiskShort(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    struct statvfs info;
    if (::statvfs(folder.c_str(), &info) != 0) return false;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize < kDiskReserve;
}

}  // namespace

std::string FetchItemBefore(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == ' ') --end;
    std::size_t start = end;
    while (start > 0) {
        const char c = text[start - 1];
        if (c == ']') {
            const std::size_t open = text.rfind('[', start - 1);
            if (open == std::string_view::npos) break;
            start = open;
            continue;
        }
        if (c == ' ' || c == '(') break;
        --start;
    }
    std::string item(text.substr(start, end - start));
    for (char& c : item)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return item;
}

std::size_t RetrievalAnswerEnd::Feed(std::string_view piece) {
    const std::size_t used = imap_ ? FeedImap(piece) : FeedPop3(piece);
    offset_ += used == std::string_view::npos ? piece.size() : used;
    return used;
}

std::size_t RetrievalAnswerEnd::FeedPop3(std::string_view piece) {
    std::size_t from = 0;
    if (!statusSeen_) {
        const std::size_t lf = piece.find('\n');
        status_.append(piece.substr(0, std::min(lf, piece.size())));
        if (lf == std::string_view::npos) {
            // A status line without end is as endless as any answer: the
            // disk bounds it, the memory must not.
            if (status_.size() > kStatusLineLimit) status_.resize(kStatusLineLimit);
            return std::string_view::npos;
        }
        statusSeen_ = true;
        if (common::StartsWithIgnoringAsciiCase(status_, "-err")) return lf + 1;
        // The status line's own line end may begin the final ".".
        window_ = "\n";
        from = lf + 1;
    }
    // A "\n.\r\n" across the last piece's end, then one within this one;
    // neither copies the piece.
    const std::string_view rest = piece.substr(from);
    const std::string across = window_ + std::string(rest.substr(0, 3));  // at most six bytes
    const std::size_t split = across.find("\n.\r\n");
    if (split != std::string::npos) return from + split + 4 - window_.size();
    const std::size_t end = rest.find("\n.\r\n");
    if (end != std::string_view::npos) return from + end + 4;
    window_ = across.size() > 3 ? across.substr(across.size() - 3) : across;
    if (rest.size() >= 3) window_ = std::string(rest.substr(rest.size() - 3));
    return std::string_view::npos;
}

std::size_t RetrievalAnswerEnd::FeedImap(std::string_view piece) {
    std::size_t i = 0;
    while (i < piece.size()) {
        if (owed_ > 0) {
            const std::uint64_t take = std::min<std::uint64_t>(owed_, piece.size() - i);
            i += static_cast<std::size_t>(take);
            owed_ -= take;
            continue;
        }
        const std::size_t lf = piece.find('\n', i);
        const std::string_view text = piece.substr(i, lf == std::string_view::npos ? std::string_view::npos : lf + 1 - i);
        segment_.append(text);
        if (lineHead_.size() < kLineHeadKeep) lineHead_.append(text.substr(0, kLineHeadKeep - lineHead_.size()));
        if (segment_.size() > kSegmentKeep) segment_.erase(0, segment_.size() - kSegmentTail);
        if (lf == std::string_view::npos) return std::string_view::npos;
        i = lf + 1;
        const long long literal = ImapLiteralAtEnd(segment_);
        if (literal >= 0) {
            const std::size_t brace = segment_.rfind('{');
            SpooledLiteral spooled;
            spooled.offset = offset_ + i;
            spooled.sizeAt = spooled.offset - (segment_.size() - brace);
            spooled.size = static_cast<std::uint64_t>(literal);
            std::size_t before = brace;
            if (before > 0 && segment_[before - 1] == '~') --before;  // a literal8
            spooled.item = FetchItemBefore(std::string_view(segment_).substr(0, before));
            literals_.push_back(std::move(spooled));
            owed_ = static_cast<std::uint64_t>(literal);
            segment_.clear();
            continue;  // the logical line goes on behind the literal
        }
        const bool tagged = !tag_.empty() && lineHead_.compare(0, tag_.size(), tag_) == 0;
        segment_.clear();
        lineHead_.clear();
        if (tagged) return i;
    }
    return std::string_view::npos;
}

bool SpoolServerAnswer(LineRelayState& state, const std::string& path, SpooledAnswer& answer,
                       const char* function) {
    answer = SpooledAnswer{};
    const int fd = OpenForRewrite(path);
    if (fd < 0) {
        WriteLogF("[%s] [%04d] capture file write failed. (%s)\n", function, state.client, path.c_str());
        return false;
    }
    RetrievalAnswerEnd end(state.protocol, state.imapTag);
    std::string piece;
    piece.swap(state.serverAhead);
    std::uint64_t checkedAt = 0;
    bool written = true;
    bool diskShort = false;
    for (;;) {
        if (!piece.empty()) {
            const std::size_t used = end.Feed(piece);
            const std::size_t keep = used == std::string::npos ? piece.size() : used;
            written = platform::WriteAll(fd, std::string_view(piece.data(), keep));
            diskShort = !written && (errno == ENOSPC || errno == EDQUOT);
            answer.size += keep;
            if (used != std::string::npos) {
                state.serverAhead.assign(piece, used, std::string::npos);
                answer.complete = true;
            }
            if (!written || answer.complete) break;
            if (answer.size - checkedAt >= kDiskCheckEvery) {
                checkedAt = answer.size;
                diskShort = DiskShort(path);
                if (diskShort) break;
            }
        }
        piece.clear();
        if (ReceiveFromServer(state, piece, function) <= 0) break;
    }
    answer.literals = end.literals();
    const bool ended = written && !diskShort && EndFileAt(fd, answer.size);
    ::close(fd);
    if (diskShort) {
        WriteLogF("[%s] [%04d] [%04d] the data folder's disk is running short (%llu bytes of a retrieval spooled): "
                  "the relay ends.\n",
                  function, state.client, state.server, static_cast<unsigned long long>(answer.size));
        return false;
    }
    if (!ended) {
        WriteLogF("[%s] [%04d] capture file write failed. (%s)\n", function, state.client, path.c_str());
        return false;
    }
    return answer.size > 0;
}

bool ReadFileRange(int fd, std::uint64_t from, std::uint64_t length, std::string& into) {
    into.resize(static_cast<std::size_t>(length));
    std::size_t done = 0;
    while (done < into.size()) {
        const ssize_t n = ::pread(fd, into.data() + done, into.size() - done, static_cast<off_t>(from + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    into.resize(done);
    return done == length;
}

bool SendFileRange(LineRelayState& state, int fd, std::uint64_t from, std::uint64_t to, const char* function) {
    std::string chunk;
    while (from < to) {
        const std::uint64_t length = std::min<std::uint64_t>(kFileChunk, to - from);
        if (!ReadFileRange(fd, from, length, chunk)) {
            WriteLogF("[%s] [%04d] capture file read failed.\n", function, state.client);
            return false;
        }
        if (!SendToClient(state, chunk, function)) return false;
        from += length;
    }
    return true;
}

bool CopyFileRange(int fd, std::uint64_t from, std::uint64_t length, const std::string& to) {
    const int out = OpenForRewrite(to);
    if (out < 0) return false;
    off_t in = static_cast<off_t>(from);
    std::uint64_t left = length;
    bool ok = true;
    while (ok && left > 0) {
        const ssize_t n = ::copy_file_range(fd, &in, out, nullptr, static_cast<std::size_t>(std::min<std::uint64_t>(left, 1u << 30)), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n > 0) {
            left -= static_cast<std::uint64_t>(n);
            continue;
        }
        // Where the kernel can't copy between these files, through memory.
        std::string chunk;
        while (ok && left > 0) {
            const std::uint64_t take = std::min<std::uint64_t>(kFileChunk, left);
            ok = ReadFileRange(fd, static_cast<std::uint64_t>(in), take, chunk) && platform::WriteAll(out, chunk);
            in += static_cast<off_t>(take);
            left -= take;
        }
    }
    ok = ok && EndFileAt(out, length);
    return ::close(out) == 0 && ok;
}

}  // namespace engine
