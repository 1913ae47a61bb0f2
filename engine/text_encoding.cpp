// UTF-16 <-> UTF-8 for the engine, with an ASCII fast path in both
// directions: contact data is mostly ASCII and every field read goes
// through the decoder once.
#include "engine/text_encoding.h"

#include <bit>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace calyra::engine {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
static_assert(std::endian::native == std::endian::little, "the ASCII fast paths read units as bytes in order");

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }
bool IsHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

void Utf16ToUtf8(const char16_t* text, std::string& out) {
    size_t len = 0;
    while (text[len] != 0) ++len;
    // Three bytes per unit covers every case: a pair takes four bytes for
    // two units.
    out.resize(len * 3);
    char* dst = out.data();
    size_t o = 0;
    size_t i = 0;
    while (i < len) {
        // Several ASCII units at a time while they last: every statement
        // passes here, and its names and keywords are ASCII.
#if defined(__SSE2__)
        while (i + 8 <= len) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
            const __m128i high = _mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80)));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF) break;
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + o), _mm_packus_epi16(units, units));
            i += 8;
            o += 8;
        }
#endif
        while (i + 4 <= len) {
            std::uint64_t chunk;
            std::memcpy(&chunk, text + i, 8);
            if (chunk & 0xFF80FF80FF80FF80ULL) break;
            // The low byte of each unit, in order (the targets are little-endian).
            const auto bytes = static_cast<std::uint32_t>((chunk & 0xFF) | ((chunk >> 8) & 0xFF00) |
                                                          ((chunk >> 16) & 0xFF0000) | ((chunk >> 24) & 0xFF000000));
            std::memcpy(dst + o, &bytes, 4);
            i += 4;
            o += 4;
        }
        if (i == len) break;
        const char32_t u = text[i++];
        if (u < 0x80) {
            dst[o++] = static_cast<char>(u);
        } else if (u < 0x800) {
            dst[o++] = static_cast<char>(0xC0 | (u >> 6));
            dst[o++] = static_cast<char>(0x80 | (u & 0x3F));
        } else if (IsHighSurrogate(u) && i < len && IsLowSurrogate(text[i])) {
            char32_t cp = 0x10000 + ((u - 0xD800) << 10) + (static_cast<char32_t>(text[i++]) - 0xDC00);
            dst[o++] = static_cast<char>(0xF0 | (cp >> 18));
            dst[o++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            dst[o++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            dst[o++] = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            // Also an unpaired surrogate, kept as its own three-byte form.
            dst[o++] = static_cast<char>(0xE0 | (u >> 12));
            dst[o++] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            dst[o++] = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    out.resize(o);
}

size_t DecodeUtf8(const unsigned char* src, size_t n, char16_t* dst) {
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
        unsigned char b = src[i];
        if (b < 0x80) {
            dst[o++] = b;
            ++i;
            continue;
        }
        if (b >= 0xC2 && b <= 0xDF && i + 1 < n && IsContinuation(src[i + 1])) {
            dst[o++] = static_cast<char16_t>(((b & 0x1F) << 6) | (src[i + 1] & 0x3F));
            i += 2;
            continue;
        }
        if (b >= 0xE0 && b <= 0xEF && i + 2 < n && IsContinuation(src[i + 1]) && IsContinuation(src[i + 2])) {
            char32_t cp = ((b & 0x0F) << 12) | ((src[i + 1] & 0x3F) << 6) | (src[i + 2] & 0x3F);
            if (cp >= 0x800) {  // shorter forms are overlong, hence invalid
                dst[o++] = static_cast<char16_t>(cp);
                i += 3;
                continue;
            }
        }
        if (b >= 0xF0 && b <= 0xF4 && i + 3 < n && IsContinuation(src[i + 1]) && IsContinuation(src[i + 2]) &&
            IsContinuation(src[i + 3])) {
            char32_t cp =
                ((b & 0x07) << 18) | ((src[i + 1] & 0x3F) << 12) | ((src[i + 2] & 0x3F) << 6) | (src[i + 3] & 0x3F);
            if (cp >= 0x10000 && cp <= 0x10FFFF) {
                cp -= 0x10000;
                dst[o++] = static_cast<char16_t>(0xD800 + (cp >> 10));
                dst[o++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
                i += 4;
                continue;
            }
        }
        dst[o++] = kReplacement;
        ++i;
    }
    return o;
}

}  // namespace calyra::engine
