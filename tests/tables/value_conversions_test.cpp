// Conversions between interface values and the text the database stores.
#include "tables/value_conversions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/bstr.h"

using calyra::Bstr;

namespace {

constexpr LONG kLongMin = std::numeric_limits<LONG>::min();
constexpr LONG kLongMax = std::numeric_limits<LONG>::max();

std::string DateText(DATE date) {
    OLECHAR buffer[calyra::kValueTextUnits];
    return calyra::Utf16ToUtf8(calyra::DateToText(date, buffer, calyra::kValueTextUnits));
}

std::string LongText(LONG value) {
    OLECHAR buffer[calyra::kValueTextUnits];
    return calyra::Utf16ToUtf8(calyra::LongToText(value, buffer, calyra::kValueTextUnits));
}

// ---- Dates --------------------------------------------------------------------

// Splitting a date (negative dates, leap years, rounding) is the variant
// time's, tested with its vectors in tests/platform; these pin the text.
TEST(DateToText, WritesTheStoredDateTextOfKnownDates) {
    const std::pair<DATE, const char*> vectors[] = {
        {40493 + 29109 / 86400.0, "2010-11-11 08:05:09"},
        {-657434.0, "0100-01-01 00:00:00"},
        {2958465.0 + 86399 / 86400.0, "9999-12-31 23:59:59"},
    };
    for (const auto& [date, text] : vectors) EXPECT_EQ(DateText(date), text) << "date " << date;
}

// That dates outside the years 100 to 9999 (and NaN, infinities) write the
// zero text is the value conversions fuzz target's property.
TEST(DateToText, BuffersAreClearedButNeverOverrun) {
    std::vector<OLECHAR> buffer(80, u'x');
    calyra::DateToText(0.0, buffer.data(), buffer.size());
    for (size_t i = 19; i < 64; ++i) EXPECT_EQ(buffer[i], u'\0') << "unit " << i << " not cleared";
    for (size_t i = 64; i < 80; ++i) EXPECT_EQ(buffer[i], u'x') << "unit " << i << " written past 64";
    // A short buffer gets a terminated prefix.
    std::fill(buffer.begin(), buffer.end(), u'x');
    calyra::DateToText(0.0, buffer.data(), 5);
    EXPECT_EQ(std::u16string(buffer.data()), u"1899");
    EXPECT_EQ(buffer[5], u'x');
    EXPECT_EQ(calyra::DateToText(0.0, nullptr, 64), nullptr);
}

TEST(TextToDate, ReadsStoredDateTexts) {
    const std::pair<const char16_t*, DATE> vectors[] = {
        {u"2010-11-11 08:05:09", 40493 + 29109 / 86400.0},
        {u"2010-11-11", 40493.0},  // date only: midnight
        {u"1899-12-30 00:00:00", 0.0},
        {u"1899-12-29 06:00:00", -1.25},
        {u" 2010-11-11 08:05:09", 40493 + 29109 / 86400.0},                       // numbers may have leading blanks
        {u"2010-11-11\t08:05:09", 40493 + 29109 / 86400.0},                       // the blank matches any white space
        {u"2010-11-1108:05:09", calyra::DateFromParts(2010, 11, 1108, 0, 0, 0)},  // blank may be missing
        {u"2010 -11-11", calyra::DateFromParts(2010, 0, 0, 0, 0, 0)},             // '-' must follow at once
        {u"garbage", calyra::DateFromParts(0, 0, 0, 0, 0, 0)},
        {u"", calyra::DateFromParts(0, 0, 0, 0, 0, 0)},
    };
    for (const auto& [text, date] : vectors)
        EXPECT_DOUBLE_EQ(calyra::TextToDate(text, -99.0), date) << calyra::Utf16ToUtf8(text);
    EXPECT_EQ(calyra::TextToDate(nullptr, 1234.5), 1234.5) << "a NULL text gives the default";
}

TEST(DateFromParts, GivesTheAutomationDateOfKnownDates) {
    // Year, month, day, hour, minute, second, and the date they give.
    const std::tuple<LONG, LONG, LONG, LONG, LONG, LONG, DATE> vectors[] = {
        {1899, 12, 30, 0, 0, 0, 0.0},
        {1899, 12, 29, 6, 0, 0, -1.25},   // before the epoch the time of day is subtracted
        {2000, 2, 29, 0, 0, 0, 36585.0},  // 2000 is a leap year
        {1900, 3, 1, 0, 0, 0, 61.0},      // 1900 is not
        {2010, 11, 11, 8, 5, 9, 40493 + 29109 / 86400.0},
        {2010, 11, 0, 0, 0, 0, 40482.0},    // day 0: the last day of October
        {2010, 11, 11, 24, 0, 0, 40494.0},  // hour 24: the next day
        {2010, 13, 1, 0, 0, 0, 40544.0},    // month 13: January of the next year
    };
    for (const auto& [year, month, day, hour, minute, second, date] : vectors)
        EXPECT_DOUBLE_EQ(calyra::DateFromParts(year, month, day, hour, minute, second), date)
            << year << "-" << month << "-" << day << " " << hour << ":" << minute << ":" << second;
}

// ---- Numbers and flags ----------------------------------------------------------

TEST(LongToText, WritesSignedDecimalTextCutToTheBuffer) {
    EXPECT_EQ(LongText(0), "0");
    EXPECT_EQ(LongText(42), "42");
    EXPECT_EQ(LongText(-7), "-7");
    EXPECT_EQ(LongText(kLongMax), "2147483647");
    EXPECT_EQ(LongText(kLongMin), "-2147483648");
    OLECHAR small[4] = {u'x', u'x', u'x', u'x'};
    calyra::LongToText(kLongMin, small, 3);
    EXPECT_EQ(std::u16string(small), u"-2");
    EXPECT_EQ(small[3], u'x');
}

// A text and the number it reads as.
using LongVector = std::pair<const char16_t*, LONG>;

TEST(TextToLong, ReadsTheLeadingDecimalNumber) {
    // Beyond the range a number saturates.
    for (const auto& [text, value] :
         {LongVector{u"42", 42}, LongVector{u"-7", -7}, LongVector{u"  \t\n 3", 3}, LongVector{u"12abc", 12},
          LongVector{u"0x10", 0}, LongVector{u"", 0}, LongVector{u"+ 1", 0}, LongVector{u"2147483647", kLongMax},
          LongVector{u"-2147483648", kLongMin}, LongVector{u"2147483648", kLongMax},
          LongVector{u"-2147483649", kLongMin}, LongVector{u"99999999999999999999999999", kLongMax}})
        EXPECT_EQ(calyra::TextToLong(text, -99), value) << "text \"" << calyra::Utf16ToUtf8(text) << "\"";
    EXPECT_EQ(calyra::TextToLong(nullptr, -99), -99) << "a NULL text gives the default";
}

TEST(Flags, OnlyTheNumberOneReadsTrueAndAClearedFlagWritesZero) {
    const LongVector vectors[] = {
        {u"1", 1}, {u" 1", 1}, {u"01", 1}, {u"+1", 1},  {u"1abc", 1}, {u"true", 0},
        {u"0", 0}, {u"2", 0},  {u"-1", 0}, {u"yes", 0}, {u"", 0},     {u"11", 0},
    };
    for (const auto& [text, value] : vectors)
        EXPECT_EQ(calyra::TextToBool(text, 7), value) << "text \"" << calyra::Utf16ToUtf8(text) << "\"";
    EXPECT_EQ(calyra::TextToBool(nullptr, 7), 7);
    // That every nonzero flag reads back as 1 is the value conversions fuzz
    // target's property; that -1 is stored as "1" is checked with the contact
    // details (tests/access).
    EXPECT_EQ(std::u16string(calyra::BoolToText(0)), u"0");
}

// ---- Texts ----------------------------------------------------------------------

TEST(TextToBstr, CopiesTheDefaultByItsLength) {
    EXPECT_EQ(calyra::TextToBstr(nullptr, nullptr), nullptr);
    Bstr fallback(std::u16string_view(u"de\0f", 4));
    Bstr fromDefault = Bstr::Attach(calyra::TextToBstr(nullptr, fallback));
    EXPECT_NE(fromDefault.get(), fallback.get()) << "the default itself was handed out";
    EXPECT_EQ(fromDefault.view(), fallback.view()) << "the default was not copied by its length";
}

TEST(EscapeSqlText, TextThatFitsStaysInTheBufferAndLongerTextMovesOutWhole) {
    // A scratch buffer followed by a guard zone that must never change.
    std::vector<OLECHAR> storage(calyra::kEscapeBufferUnits + 32, u'#');
    OLECHAR* const buffer = storage.data();
    const auto escape = [&](const Bstr& text) {
        return calyra::EscapeSqlText(text, buffer, calyra::kEscapeBufferUnits);
    };
    const auto guardIntact = [&] {
        return std::all_of(storage.begin() + calyra::kEscapeBufferUnits, storage.end(),
                           [](OLECHAR c) { return c == u'#'; });
    };
    calyra::EscapedText fits = escape(Bstr(std::u16string(1024, u'\'')));  // 2048 units escaped
    EXPECT_FALSE(fits.overflowed());
    EXPECT_EQ(fits.get(), buffer);
    EXPECT_EQ(fits.length(), 2048u);
    EXPECT_EQ(buffer[2048], u'\0');
    EXPECT_TRUE(guardIntact()) << "escaping wrote past the buffer";
    // 3000 quotes escape to 6000 units, three times what the buffer holds.
    Bstr text(std::u16string(3000, u'\''));
    calyra::EscapedText escaped = escape(text);
    EXPECT_TRUE(escaped.overflowed());
    EXPECT_NE(escaped.get(), buffer);
    EXPECT_EQ(escaped.view(), std::u16string(6000, u'\'')) << "the escaped text was cut";
    EXPECT_EQ(escaped.get()[6000], u'\0');
    EXPECT_TRUE(guardIntact()) << "escaping wrote past the buffer";

    // One unit over the buffer is enough to move out.
    calyra::EscapedText justOver = escape(Bstr(u"x" + std::u16string(1024, u'\'')));
    EXPECT_TRUE(justOver.overflowed());
    EXPECT_EQ(justOver.length(), 2049u);
    EXPECT_TRUE(guardIntact()) << "escaping wrote past the buffer";
    calyra::EscapedText moved = std::move(escaped);
    EXPECT_EQ(moved.view(), std::u16string(6000, u'\'')) << "the result did not survive being moved";
}

}  // namespace
