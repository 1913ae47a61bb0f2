// The engine's names for the component's UTF-8 codec (platform/utf8.h):
// SQLite parses and stores UTF-8, the engine's interface texts are UTF-16.
// Unpaired surrogates are written as U+FFFD and bytes that are not UTF-8
// (a blob read as text) read as U+FFFD, as everywhere else in the
// component. Pure functions over caller-owned memory; thread-safe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/utf8.h"

namespace calyra::engine {

// Replaces out by the UTF-8 form of the zero-terminated text.
inline void Utf16ToUtf8(const char16_t* text, std::string& out) { calyra::Utf16ToUtf8(std::u16string_view(text), out); }

using calyra::MaxUtf16Units;

// Decodes n bytes into dst, which has room for MaxUtf16Units(n) units, and
// returns the number of units written (no terminator is added).
inline size_t DecodeUtf8(const unsigned char* src, size_t n, char16_t* dst) { return calyra::Utf8ToUtf16(src, n, dst); }

}  // namespace calyra::engine
