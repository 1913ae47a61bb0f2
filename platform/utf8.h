// UTF-8 <-> UTF-16: the one codec of the component, its engine and its
// clients.
//
// Both directions replace what they cannot carry with U+FFFD, as Windows'
// WideCharToMultiByte and MultiByteToWideChar do for CP_UTF8:
//   - a surrogate that is not the first half of a pair followed by its
//     second half (a lone high, a lone low, a pair in reversed order)
//     becomes U+FFFD on the way to UTF-8, so the UTF-8 is always valid;
//   - bytes that are not UTF-8 (an invalid lead byte, a sequence cut short,
//     an overlong form, an encoded surrogate, a code point past U+10FFFF)
//     become one U+FFFD per maximal ill-formed subpart (the Unicode
//     Standard's recommended practice): "\xE6\x97" is one U+FFFD, "\xC0\xAF"
//     two, "\xED\xA0\x80" three.
// Valid input round-trips unchanged. Pure functions over caller-owned
// memory; thread-safe. ASCII runs take a fast path: every statement and
// most stored texts are ASCII.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace calyra {

// Replaces out by the UTF-8 form of text.
void Utf16ToUtf8(std::u16string_view text, std::string& out);
std::string Utf16ToUtf8(std::u16string_view text);

// Most UTF-16 units n bytes of UTF-8 can decode to: one per byte.
constexpr size_t MaxUtf16Units(size_t utf8Bytes) { return utf8Bytes; }

// Decodes n bytes into dst, which has room for MaxUtf16Units(n) units, and
// returns the number of units written (no terminator is added).
size_t Utf8ToUtf16(const unsigned char* src, size_t n, char16_t* dst);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace calyra
