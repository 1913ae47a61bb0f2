// Conversions between the engine's UTF-16 interface texts and the UTF-8 that
// SQLite parses and stores.
//
// Both directions are lossless for every UTF-16 text, including unpaired
// surrogates: a surrogate that is not half of a pair travels as its own
// three-byte form, and that form decodes back to the same unit. Bytes that
// are not UTF-8 at all (a blob read as text) decode to U+FFFD one byte at a
// time. Pure functions over caller-owned memory; thread-safe.
#pragma once

#include <cstddef>
#include <string>

namespace calyra::engine {

// Replaces out by the UTF-8 form of the zero-terminated text.
void Utf16ToUtf8(const char16_t* text, std::string& out);

// Most UTF-16 units that n bytes of UTF-8 can decode to: one per byte.
constexpr size_t MaxUtf16Units(size_t utf8Bytes) { return utf8Bytes; }

// Decodes n bytes into dst, which has room for MaxUtf16Units(n) units, and
// returns the number of units written (no terminator is added).
size_t DecodeUtf8(const unsigned char* src, size_t n, char16_t* dst);

}  // namespace calyra::engine
