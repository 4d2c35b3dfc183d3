// Single-byte text helpers. Every length and position is in bytes; upper-casing and the case-free
// comparison follow plain ASCII, whatever the system's code page, so that bytes above 0x7F pass
// through unchanged.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

namespace qsoferry::text {

// Space, tab, carriage return, line feed, vertical tab and form feed.
inline bool IsSpace(char c) {
    constexpr std::uint64_t kSpaces = 1ull << ' ' | 1ull << '\t' | 1ull << '\n' | 1ull << '\v' | 1ull << '\f' | 1ull << '\r';
    const unsigned byte = static_cast<unsigned char>(c);
    return byte <= ' ' && (kSpaces >> byte & 1);
}
inline char ToUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string_view TrimLeftView(std::string_view s) {
    size_t begin = 0;
    while (begin < s.size() && IsSpace(s[begin]))
        ++begin;
    return s.substr(begin);
}
inline std::string_view TrimRightView(std::string_view s) {
    size_t end = s.size();
    while (end > 0 && IsSpace(s[end - 1]))
        --end;
    return s.substr(0, end);
}
inline std::string_view TrimView(std::string_view s) {
    return TrimRightView(TrimLeftView(s));
}
// The first N bytes (N at most 8) packed into one number, byte i in bits 8i..8i+7 whatever the
// byte order. Reads exactly N bytes.
template <size_t N>
std::uint64_t PackedBytes(const char* bytes) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Loads of 1, 2, 4 or 8 bytes: a narrower copy into a wider word would stall on the store.
    if constexpr (N == 1 || N == 2 || N == 4 || N == 8) {
        using Word = std::conditional_t<
            N == 1, std::uint8_t,
            std::conditional_t<N == 2, std::uint16_t, std::conditional_t<N == 4, std::uint32_t, std::uint64_t>>>;
        Word word;
        std::memcpy(&word, bytes, N);
        return word;
    } else {
        constexpr size_t kLow = N > 4 ? 4 : 2;
        return PackedBytes<kLow>(bytes) | PackedBytes<N - kLow>(bytes + kLow) << (8 * kLow);
    }
#else
    std::uint64_t word = 0;
    for (size_t i = 0; i < N; ++i)
        word |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    return word;
#endif
}

// Eight bytes with their ASCII letters upper-cased all at once; no byte carries into another, so
// the order they were loaded in does not matter.
inline std::uint64_t UpperWord(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    const std::uint64_t low7 = word & (0x7F * kOnes);
    const std::uint64_t atLeastA = low7 + (0x80 - 'a') * kOnes;    // top bit: the byte is 'a' or above
    const std::uint64_t aboveZ = low7 + (0x80 - 'z' - 1) * kOnes;  // top bit: above 'z'
    const std::uint64_t lower = atLeastA & ~aboveZ & ~word & (0x80 * kOnes);
    return word - (lower >> 2);  // 'a'..'z' less 0x20
}

// The first N bytes of a name packed and upper-cased: a name is told apart with one comparison a
// candidate.
template <size_t N>
std::uint64_t UpperKey(const char* name) {
    static_assert(N <= 8, "a key holds eight bytes");
    return UpperWord(PackedBytes<N>(name));
}

std::string ToUpper(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace qsoferry::text
