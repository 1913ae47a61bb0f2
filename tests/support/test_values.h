// Small values and helpers most access tests share: the error-ID sentinel,
// the current UTC time as the component writes it, and setting a record's
// text field.
//
// Nothing here holds state; everything is safe from any thread.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "platform/bstr.h"
#include "platform/types.h"

namespace calyra::test {

// What a caller's plErrorID holds before a call that must not report.
constexpr LONG kUntouched = 0x7777;

// The current UTC time, "YYYY-MM-DD hh:mm:ss", `secondsOn` seconds from now,
// for bracketing a write's time stamp.
inline std::string UtcNowText(int secondsOn = 0) {
    std::time_t now = std::time(nullptr) + secondsOn;
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &now);
#else
    gmtime_r(&now, &tm);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

// Replaces a record's text field; the record owns the new text.
inline void SetText(BSTR& field, std::u16string_view value) {
    SysFreeString(field);
    field = Bstr(value).Detach();
}
inline void SetText(BSTR& field, const std::string& utf8) {
    SysFreeString(field);
    field = Bstr::FromUtf8(utf8).Detach();
}

}  // namespace calyra::test
