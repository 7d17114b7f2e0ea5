// A quick "cannot match" test for keyword patterns. The keyword check runs
// every keyword of the list over the same chunk; most keywords are absent
// from most pages, and a part of a pattern can only occur where every
// three-byte run of it occurs. The runs of a chunk are hashed into a bitmap
// once, so an absent keyword is usually ruled out with a few lookups
// instead of a search through the whole chunk. A pass of this test proves
// nothing: the pattern is then matched as usual.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace cwfs {

class TrigramIndex {
public:
    // ASCII letters are folded, as the pattern match ignores their case.
    explicit TrigramIndex(std::string_view text);

    // The hashed three-byte runs of each part of pattern between its "*"s.
    static std::vector<uint32_t> GramsOf(std::string_view pattern);

    // False when some run of the pattern does not occur in the text, so the
    // pattern cannot match it.
    bool MayContain(const std::vector<uint32_t>& grams) const;

private:
    std::vector<uint64_t> bits_;
};

}  // namespace cwfs
