#include "filters/cwfs/trigram_index.h"

#include "common/ascii_case.h"

namespace cwfs {
namespace {

constexpr unsigned kBitCount = 1u << 20;

uint32_t Fold(char c) { return static_cast<unsigned char>(common::LowerAscii(c)); }

uint32_t Hash(uint32_t run) { return (run * 2654435761u) >> (32 - 20); }

}  // namespace

TrigramIndex::TrigramIndex(std::string_view text) : bits_(kBitCount / 64, 0) {
    if (text.size() < 3) return;
    uint32_t run = (Fold(text[0]) << 8) | Fold(text[1]);
    for (size_t at = 2; at < text.size(); ++at) {
        run = ((run << 8) | Fold(text[at])) & 0xFFFFFF;
        const uint32_t h = Hash(run);
        bits_[h >> 6] |= uint64_t{1} << (h & 63);
    }
}

std::vector<uint32_t> TrigramIndex::GramsOf(std::string_view pattern) {
    std::vector<uint32_t> grams;
    for (size_t start = 0; start <= pattern.size();) {
        size_t star = pattern.find('*', start);
        if (star == std::string_view::npos) star = pattern.size();
        for (size_t at = start; at + 3 <= star; ++at)
            grams.push_back(Hash((Fold(pattern[at]) << 16) | (Fold(pattern[at + 1]) << 8) | Fold(pattern[at + 2])));
        start = star + 1;
    }
    return grams;
}

bool TrigramIndex::MayContain(const std::vector<uint32_t>& grams) const {
    for (uint32_t h : grams)
        if (!(bits_[h >> 6] & (uint64_t{1} << (h & 63)))) return false;
    return true;
}

}  // namespace cwfs
