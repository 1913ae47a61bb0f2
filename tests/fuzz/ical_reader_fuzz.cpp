// The iCalendar reader (libical included) on any bytes, the path an import
// takes: no crash, no hang (time zone and recurrence rules that would expand
// without end are bounded), and every text it hands out is valid UTF-8.
#include <cstdint>
#include <string_view>

#include "fuzz/card_texts.h"
#include "fuzz/fuzz_check.h"
#include "interchange/ical_reader.h"
#include "interchange/text_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto result = calyra::interchange::ParseICalendar(bytes);
    for (const auto& item : result.items)
        calyra::fuzz::ForEachText(item, [](const std::string& s) { FUZZ_CHECK(calyra::interchange::IsValidUtf8(s)); });
    return 0;
}
