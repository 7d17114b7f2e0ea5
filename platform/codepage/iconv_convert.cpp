#include "platform/codepage/iconv_convert.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <iconv.h>

#include <map>
#include <utility>

namespace platform::codepage_detail {
namespace {

constexpr const char* kUtf16Native = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// One descriptor per direction and thread, opened on first use and kept:
// opening one costs far more than most conversions (a keyword, a header).
// Each conversion starts from the initial shift state.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(Descriptor(to, from)) {
        if (ok()) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    bool ok() const { return cd_ != kNone; }
    iconv_t get() const { return cd_; }

private:
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

    struct Descriptors {
        std::map<std::pair<std::string, std::string>, iconv_t> byNames;
        ~Descriptors() {
            for (auto& [names, cd] : byNames)
                if (cd != kNone) iconv_close(cd);
        }
    };

    static iconv_t Descriptor(const char* to, const char* from) {
        thread_local Descriptors open;
        auto key = std::make_pair(std::string(to), std::string(from));
        auto it = open.byNames.find(key);
        if (it == open.byNames.end()) it = open.byNames.emplace(std::move(key), iconv_open(to, from)).first;
        return it->second;
    }

    iconv_t cd_;
};

// Runs the whole input through cd. At a sequence iconv refuses, the
// replacement goes out and `skip(position)` bytes of input are dropped; an
// incomplete sequence at the end is replaced once.
template <typename SkipFn>
void Run(iconv_t cd, std::string_view in, std::string_view replacement, SkipFn skip, std::string& out) {
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    std::string buffer(in.size() * 4 + 16, '\0');
    size_t used = 0;
    auto room = [&](size_t need) {
        while (buffer.size() - used < need) buffer.resize(buffer.size() * 2);
    };
    while (inLeft > 0) {
        char* outPtr = buffer.data() + used;
        size_t outLeft = buffer.size() - used;
        size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        int err = errno;
        used = buffer.size() - outLeft;
        if (rc != static_cast<size_t>(-1)) continue;
        if (err == E2BIG) {
            room(buffer.size() - used + 16);
            continue;
        }
        room(replacement.size());
        std::memcpy(buffer.data() + used, replacement.data(), replacement.size());
        used += replacement.size();
        if (err != EILSEQ) break;  // EINVAL: the input ends inside a character
        size_t n = std::min(inLeft, skip(static_cast<size_t>(inPtr - in.data())));
        inPtr += n;
        inLeft -= n;
    }
    // Stateful encodings (ISO-2022-KR, UTF-7) close their last shift here.
    for (;;) {
        char* outPtr = buffer.data() + used;
        size_t outLeft = buffer.size() - used;
        size_t rc = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        int err = errno;
        used = buffer.size() - outLeft;
        if (rc == static_cast<size_t>(-1) && err == E2BIG) {
            room(buffer.size() - used + 16);
            continue;
        }
        break;
    }
    out.assign(buffer.data(), used);
}

}  // namespace

bool IconvDecode(const char* name, std::string_view in, std::u16string& out, bool doubleByte) {
    Iconv cd(kUtf16Native, name);
    if (!cd.ok()) return false;
    const char16_t replacementChar = u'\uFFFD';
    std::string bytes;
    Run(cd.get(), in, std::string_view(reinterpret_cast<const char*>(&replacementChar), 2),
        [in, doubleByte](size_t pos) {
            auto byte = [in](size_t i) { return static_cast<unsigned char>(in[i]); };
            bool pair = doubleByte && byte(pos) >= 0x81 && pos + 1 < in.size() && byte(pos + 1) >= 0x40 &&
                        byte(pos + 1) <= 0xFE && byte(pos + 1) != 0x7F;
            return size_t{pair ? 2u : 1u};
        },
        bytes);
    out.assign(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
    return true;
}

bool IconvEncode(const char* name, std::u16string_view in, std::string_view replacement, std::string& out) {
    Iconv cd(name, kUtf16Native);
    if (!cd.ok()) return false;
    std::string_view bytes(reinterpret_cast<const char*>(in.data()), in.size() * 2);
    // A refused character is one UTF-16 unit, or two for a surrogate pair.
    auto skip = [in](size_t bytePos) {
        size_t unit = bytePos / 2;
        bool pair = unit + 1 < in.size() && in[unit] >= 0xD800 && in[unit] <= 0xDBFF &&
                    in[unit + 1] >= 0xDC00 && in[unit + 1] <= 0xDFFF;
        return size_t{pair ? 4u : 2u};
    };
    Run(cd.get(), bytes, replacement, skip, out);
    return true;
}

}  // namespace platform::codepage_detail
