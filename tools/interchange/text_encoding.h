// Turning the bytes of address-book and calendar files into UTF-8: byte
// order marks and UTF-16 files, quoted-printable values, CHARSET
// parameters, and the Windows-1252 text that old programs write without
// saying so.
//
// Thread-safety: pure functions (iconv descriptors are opened per call).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace calyra::interchange {

// The file as UTF-8: a UTF-8 byte order mark is dropped, UTF-16 (either
// order, recognised by its mark) is converted. Other bytes pass unchanged.
std::string NormalizeInput(std::string_view bytes);

bool IsValidUtf8(std::string_view text);

// The text with every byte that starts no valid UTF-8 sequence replaced by
// U+FFFD; valid text comes back unchanged.
std::string ToValidUtf8(std::string_view text);

// The text without the control characters iCalendar text cannot hold
// (U+0000 to U+001F except tab and line feed, and U+007F). libical reads
// some of them and drops others on writing (backspace, form feed, carriage
// return), so a text that kept them would change on its way through a file.
std::string WithoutControlCharacters(std::string_view text);

// Decodes quoted-printable text ("=C3=A9" -> "é"; "=" at the very end is a
// soft line break and vanishes). Malformed escapes are kept as written and
// make `malformed` true.
std::string DecodeQuotedPrintable(std::string_view text, bool* malformed = nullptr);

// Converts text in `charset` (any name iconv knows; "UTF-8" passes
// through after validation) to UTF-8; std::nullopt when the charset is
// unknown or the bytes are not valid in it.
std::optional<std::string> ConvertToUtf8(std::string_view bytes, std::string_view charset);

// Windows-1252 (a superset of ISO-8859-1's printable range) to UTF-8. Every
// byte maps to something, so this never fails.
std::string Windows1252ToUtf8(std::string_view bytes);

// The value of a hexadecimal digit in either case; -1 for other characters.
int HexValue(char c);

// Length of the UTF-8 sequence that starts with `lead` (1 for bytes that
// cannot start one, so callers always advance).
size_t Utf8SequenceLength(unsigned char lead);

}  // namespace calyra::interchange
