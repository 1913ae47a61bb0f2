// The UTF-8 codec, with an ASCII fast path in both directions: every
// statement the engine runs and most field values it reads are ASCII, and
// each passes here once (bench/ measures it through the engine).
#include "platform/utf8.h"

#include <bit>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace calyra {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
static_assert(std::endian::native == std::endian::little, "the ASCII fast paths read units as bytes in order");

bool IsHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The well-formed sequences: after the lead byte, how many bytes follow and
// the range of the first of them (the others are always 80..BF).
struct Lead {
    int follow;  // -1: never a lead byte
    unsigned char low, high;
};
constexpr Lead LeadOf(unsigned char b) {
    if (b >= 0xC2 && b <= 0xDF) return {1, 0x80, 0xBF};
    if (b == 0xE0) return {2, 0xA0, 0xBF};  // below A0: overlong
    if (b == 0xED) return {2, 0x80, 0x9F};  // above 9F: a surrogate
    if (b >= 0xE1 && b <= 0xEF) return {2, 0x80, 0xBF};
    if (b == 0xF0) return {3, 0x90, 0xBF};  // below 90: overlong
    if (b == 0xF4) return {3, 0x80, 0x8F};  // above 8F: past U+10FFFF
    if (b >= 0xF1 && b <= 0xF3) return {3, 0x80, 0xBF};
    return {-1, 0, 0};
}

}  // namespace

void Utf16ToUtf8(std::u16string_view text, std::string& out) {
    const char16_t* src = text.data();
    const size_t len = text.size();
    // Three bytes per unit covers every case: a pair takes four bytes for
    // two units, a replaced surrogate three for one.
    out.resize(len * 3);
    char* dst = out.data();
    size_t o = 0;
    size_t i = 0;
    while (i < len) {
        // Several ASCII units at a time while they last.
#if defined(__SSE2__)
        while (i + 8 <= len) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            const __m128i high = _mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80)));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF) break;
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + o), _mm_packus_epi16(units, units));
            i += 8;
            o += 8;
        }
#endif
        while (i + 4 <= len) {
            std::uint64_t chunk;
            std::memcpy(&chunk, src + i, 8);
            if (chunk & 0xFF80FF80FF80FF80ULL) break;
            // The low byte of each unit, in order (the targets are little-endian).
            const auto bytes = static_cast<std::uint32_t>((chunk & 0xFF) | ((chunk >> 8) & 0xFF00) |
                                                          ((chunk >> 16) & 0xFF0000) | ((chunk >> 24) & 0xFF000000));
            std::memcpy(dst + o, &bytes, 4);
            i += 4;
            o += 4;
        }
        if (i == len) break;
        char32_t u = src[i++];
        if (u < 0x80) {
            dst[o++] = static_cast<char>(u);
        } else if (u < 0x800) {
            dst[o++] = static_cast<char>(0xC0 | (u >> 6));
            dst[o++] = static_cast<char>(0x80 | (u & 0x3F));
        } else if (IsHighSurrogate(u) && i < len && IsLowSurrogate(src[i])) {
            char32_t cp = 0x10000 + ((u - 0xD800) << 10) + (static_cast<char32_t>(src[i++]) - 0xDC00);
            dst[o++] = static_cast<char>(0xF0 | (cp >> 18));
            dst[o++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            dst[o++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            dst[o++] = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            if (IsHighSurrogate(u) || IsLowSurrogate(u)) u = kReplacement;  // not half of a pair
            dst[o++] = static_cast<char>(0xE0 | (u >> 12));
            dst[o++] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            dst[o++] = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    out.resize(o);
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    Utf16ToUtf8(text, out);
    return out;
}

size_t Utf8ToUtf16(const unsigned char* src, size_t n, char16_t* dst) {
    size_t i = 0;
    size_t o = 0;
    while (i < n) {
        // Eight ASCII bytes at a time while they last.
        while (i + 8 <= n) {
            std::uint64_t chunk;
            std::memcpy(&chunk, src + i, 8);
            if (chunk & 0x8080808080808080ULL) break;
            for (int k = 0; k < 8; ++k) dst[o + k] = src[i + k];
            i += 8;
            o += 8;
        }
        if (i >= n) break;
        const unsigned char b = src[i];
        if (b < 0x80) {
            dst[o++] = b;
            ++i;
            continue;
        }
        const Lead lead = LeadOf(b);
        if (lead.follow < 0) {
            dst[o++] = kReplacement;
            ++i;
            continue;
        }
        // Take the following bytes while each is in its range; a sequence
        // that stops early is one maximal ill-formed subpart, one U+FFFD,
        // and decoding goes on at the byte that stopped it.
        char32_t cp = b & (0x3F >> lead.follow);
        size_t j = 1;
        for (; j <= static_cast<size_t>(lead.follow) && i + j < n; ++j) {
            const unsigned char c = src[i + j];
            const unsigned char low = j == 1 ? lead.low : 0x80;
            const unsigned char high = j == 1 ? lead.high : 0xBF;
            if (c < low || c > high) break;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (j <= static_cast<size_t>(lead.follow)) {
            dst[o++] = kReplacement;
            i += j;
            continue;
        }
        i += j;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            dst[o++] = static_cast<char16_t>(0xD800 + (cp >> 10));
            dst[o++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            dst[o++] = static_cast<char16_t>(cp);
        }
    }
    return o;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    // Written by index and cut to size at the end (appending unit by unit
    // showed in an import's profile).
    std::u16string out(MaxUtf16Units(text.size()), u'\0');
    out.resize(Utf8ToUtf16(reinterpret_cast<const unsigned char*>(text.data()), text.size(), out.data()));
    return out;
}

}  // namespace calyra
