// The iCalendar reader (libical included) on any bytes, the path an import
// takes: no crash, no hang (time zone and recurrence rules that would expand
// without end, and lines libical would read in quadratic time, are
// bounded), and the properties every reader holds (fuzz/reader_checks.h):
// valid UTF-8 texts, and a file read a few items at a time is the file
// read whole.
#include <cstdint>
#include <string_view>

#include "fuzz/reader_checks.h"
#include "interchange/ical_reader.h"

using namespace calyra::interchange;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    calyra::fuzz::CheckReader(
        std::string_view(reinterpret_cast<const char*>(data), size), &ICalParseResult::items,
        [](std::string_view bytes) { return ParseICalendar(bytes); },
        [](std::string_view bytes, size_t perBatch, const auto& visit) {
            ReadICalendarBatches(bytes, perBatch, visit);
        },
        true);
    return 0;
}
