// What the files of the phrase model share: the hashes of the trie and its lookups, which the
// segmenter inlines.
#pragma once

#include <cstdint>

#include "pinyin/phrase.h"

namespace pinyin::phrase_detail {

// The queries of PhraseModel::load(), which check() prepares without running.
inline constexpr const char* kPhraseQuery = "SELECT word, py, weight FROM Phrase";
inline constexpr const char* kSurnameQuery = "SELECT name, py FROM Surname";
inline constexpr const char* kDominantQuery = "SELECT hz, py, share FROM Dominant";
inline constexpr const char* kVariantQuery = "SELECT hz, simplified FROM Variant";

/// The bit of a node's filter for a child `c`: one of 64.
inline unsigned childBit(char32_t c) { return static_cast<unsigned>((c * 0x9E3779B97F4A7C15ull) >> 58); }

/// Where the search for a child `c` starts in a hashed family.
inline std::uint32_t familyHash(char32_t c) {
    return static_cast<std::uint32_t>((c * 0x9E3779B97F4A7C15ull) >> 40);
}

/// The bit of the pair filter for the pair (a, b): one of 2^20.
inline std::size_t pairBit(char32_t a, char32_t b) {
    const std::uint64_t key = (static_cast<std::uint64_t>(a) << 21) | b;
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 44);
}

/// The key of a one- or two-character surname.
inline std::uint64_t surnameKey(char32_t first, char32_t second = 0) {
    return (static_cast<std::uint64_t>(first) << 21) | second;
}

}  // namespace pinyin::phrase_detail

namespace pinyin {

inline std::uint32_t PhraseModel::second(const Root& r, char32_t c) const {
    if (r.family & kHashed) {
        const std::uint32_t mask = r.family & ~kHashed;
        const std::uint32_t* const slots = familySlots_.data() + r.children;
        for (std::uint32_t i = phrase_detail::familyHash(c) & mask;; i = (i + 1) & mask) {
            const std::uint32_t j = slots[i];
            if (j == 0 || keys_[j] == c) return j;
        }
    }
    return inBlock(keys_.data() + r.children, r.family, c);
}

inline std::uint32_t PhraseModel::inBlock(const char32_t* b, std::size_t n, char32_t c) const {
    for (const char32_t* const e = b + n; b != e; ++b)
        if (*b == c) return static_cast<std::uint32_t>(b - keys_.data());
    return 0;
}

inline std::uint32_t PhraseModel::child(std::uint32_t node, char32_t c) const {
    if (node == 0 && c < 0x10000) return rootChild_[c].node;
    if (!((nodes_[node].follow >> phrase_detail::childBit(c)) & 1u)) return 0;
    const char32_t* const keys = keys_.data();
    const char32_t* b = keys + nodes_[node].first;
    std::size_t n = nodes_[node + 1].first - nodes_[node].first;
    // The first characters of the commonest words have hundreds of children: halved down to
    // one block.
    while (n > kBlock) {
        const std::size_t half = n / 2;
        b = b[half] <= c ? b + half : b;
        n -= half;
    }
    return inBlock(b, n, c);
}

inline bool PhraseModel::pairMayStart(char32_t a, char32_t b) const {
    const std::size_t bit = phrase_detail::pairBit(a, b);
    return (pairBits_[bit / 64] >> (bit % 64)) & 1u;
}

}  // namespace pinyin
