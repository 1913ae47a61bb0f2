// Conversions between the typed values of the interfaces (DATE, LONG, flags,
// BSTR) and the text the database stores, the quote doubling that makes a
// text safe inside a single-quoted SQL literal, and the "now" time stamp.
//
// The To-text conversions write into a buffer the caller supplies and
// return it; the data access base binds them to its scratch buffer, so a
// caller copies each result out before the next conversion runs. TextToBstr
// returns a new BSTR the caller owns; EscapeSqlText returns an EscapedText
// that may point into the caller's text, the caller's buffer or storage of
// its own (keep it alive until the text has been copied). Allocation
// failures throw calyra::OutOfMemory. Nothing here has state: every function
// is thread-safe as long as callers do not share a buffer between threads.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/types.h"

namespace calyra {

// Capacity that DateToText and LongToText clear and write into.
constexpr size_t kValueTextUnits = 64;
// Capacity of the buffer EscapeSqlText is made for: 2048 units of escaped
// text and the terminator.
constexpr size_t kEscapeBufferUnits = 2049;

// Writes "YYYY-MM-DD hh:mm:ss" (whole seconds, rounded to the nearest) after
// clearing the first min(capacity, 64) units. A date outside the years 100
// to 9999 (or NaN) writes "0000-00-00 00:00:00". A buffer shorter than 20
// units receives as much as fits and a terminator. Returns `buffer`.
OLECHAR* DateToText(DATE date, OLECHAR* buffer, size_t capacity);

// Reads "%d-%d-%d %d:%d:%d" the way the C scanner does: each number may
// have leading white space and a sign, the blank matches any run of white
// space (also none), and reading stops at the first mismatch with the
// fields not read left 0. Returns DateFromParts of what was read; a NULL
// text gives `defaultDate`. Numbers too large for a LONG saturate.
DATE TextToDate(const OLECHAR* text, DATE defaultDate);

// TextToDate of a zero-terminated UTF-8 text (never NULL).
DATE Utf8ToDate(const char* text);

// Writes the signed decimal text of `value` after clearing the first
// min(capacity, 64) units (LONG_MIN gives "-2147483648"). Returns `buffer`.
OLECHAR* LongToText(LONG value, OLECHAR* buffer, size_t capacity);

// The text's leading decimal number: optional white space, optional sign,
// digits, stopping at the first other unit; no digits gives 0. A number
// outside the LONG range saturates to LONG_MIN or LONG_MAX. A NULL text
// gives `defaultValue`.
LONG TextToLong(const OLECHAR* text, LONG defaultValue);

// TextToLong of a zero-terminated UTF-8 text (never NULL).
LONG Utf8ToLong(const char* text);

// u"1" for any nonzero flag, u"0" for zero. A constant: never modify or free.
const OLECHAR* BoolToText(LONG flag);

// 1 when the text's leading number (as TextToLong reads it) is 1, else 0;
// a NULL text gives `defaultValue`.
LONG TextToBool(const OLECHAR* text, LONG defaultValue);

// A new BSTR holding the text up to its zero unit (an empty text gives an
// empty BSTR, not NULL). A NULL text gives a copy of `defaultText` by its
// length (NULL stays NULL). The caller owns the result.
BSTR TextToBstr(const OLECHAR* text, BSTR defaultText);

// The result of EscapeSqlText. Points at nothing (NULL or empty input), at
// the input BSTR itself (it held no quote), at the caller's buffer, or at
// storage this object owns (the escaped text did not fit the buffer). Move
// only; keep it alive, and the input and buffer unchanged, until the text
// has been copied.
class EscapedText {
public:
    EscapedText() = default;
    EscapedText(EscapedText&&) noexcept = default;
    EscapedText& operator=(EscapedText&&) noexcept = default;
    EscapedText(const EscapedText&) = delete;
    EscapedText& operator=(const EscapedText&) = delete;

    // NULL when there was no text; otherwise zero-terminated.
    const OLECHAR* get() const { return m_owned ? m_owned.get() : m_text; }
    // Length in units; embedded zero units of the input are kept and counted.
    size_t length() const { return m_length; }
    std::u16string_view view() const { return {get() ? AsU16(get()) : u"", m_length}; }
    // Whether the text lives in storage of its own rather than the buffer.
    bool overflowed() const { return m_owned != nullptr; }

private:
    friend EscapedText EscapeSqlText(BSTR text, OLECHAR* buffer, size_t capacity);

    const OLECHAR* m_text = nullptr;     // the input or the caller's buffer
    std::unique_ptr<OLECHAR[]> m_owned;  // set only when the buffer was too small
    size_t m_length = 0;
};

// Doubles every ' of the BSTR (by its length; nothing else is changed).
// NULL or empty input: a NULL result, nothing written. Otherwise the whole
// buffer (capacity units) is cleared first; a text without a quote is
// returned as itself; an escaped text of at most capacity - 1 units is
// written into the buffer, zero-terminated; a longer one goes to storage
// the result owns, so it is never cut and the buffer never overrun.
EscapedText EscapeSqlText(BSTR text, OLECHAR* buffer, size_t capacity);

// The current time in UTC as a DATE, milliseconds dropped.
DATE GetNowDate();

// The automation date of a calendar date and time, by day count and without
// range checks: day 0 is the last day of the previous month, hour 24 the
// next day. A month outside 1..12 carries into the year (month 0 is
// December of the year before, month 13 January and month 14 February of
// the next year).
DATE DateFromParts(LONG year, LONG month, LONG day, LONG hour, LONG minute, LONG second);

}  // namespace calyra
