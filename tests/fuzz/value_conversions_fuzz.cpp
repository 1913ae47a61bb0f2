// The conversions between typed values and the text the database stores:
// the text of every date of the years 100 to 9999 reads back to the same
// date (to the second), dates outside them write the zero text, every LONG
// comes back exactly, and text of any shape is read without a crash.
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "platform/bstr.h"
#include "tables/value_conversions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // 0100-01-01 and 9999-12-31 as automation dates; every time of both days
    // is valid (before the first day the fraction counts away from zero).
    constexpr double kFirstDay = -657434.0;
    constexpr double kLastDay = 2958465.0;
    calyra::fuzz::FuzzInput in(data, size);
    OLECHAR buffer[calyra::kValueTextUnits];

    double date = in.Take<double>();
    calyra::DateToText(date, buffer, calyra::kValueTextUnits);
    std::u16string text(buffer);
    if (std::isfinite(date) && date > kFirstDay - 1.0 && date < kLastDay) {
        // The date's text names a real second, and reading it back gives a
        // date with the same text (whole seconds, rounded; -0.25 and 0.25
        // are both 1899-12-30 06:00, so compare texts, not numbers).
        FUZZ_CHECK(text != u"0000-00-00 00:00:00");
        calyra::DateToText(calyra::TextToDate(buffer, 0.0), buffer, calyra::kValueTextUnits);
        FUZZ_CHECK(std::u16string(buffer) == text);
    } else if (!(std::isfinite(date) && date > kFirstDay - 1.0 && date < kLastDay + 1.0)) {
        FUZZ_CHECK(text == u"0000-00-00 00:00:00");
    }

    LONG number = in.Take<LONG>();
    calyra::LongToText(number, buffer, calyra::kValueTextUnits);
    FUZZ_CHECK(calyra::TextToLong(buffer, 0) == number);
    FUZZ_CHECK(calyra::TextToBool(calyra::BoolToText(number), -1) == (number != 0 ? 1 : 0));

    // Any text: read as each kind without a crash.
    std::u16string any = in.RestAsText();
    calyra::TextToDate(any.c_str(), 0.0);
    calyra::TextToLong(any.c_str(), 0);
    calyra::TextToBool(any.c_str(), 0);
    const calyra::Bstr copy = calyra::Bstr::Attach(calyra::TextToBstr(any.c_str(), nullptr));
    FUZZ_CHECK(copy != nullptr);
    FUZZ_CHECK(std::u16string(copy) == std::u16string(any.c_str()));
    return 0;
}
