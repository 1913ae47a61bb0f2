// The iCalendar reader (libical included) on any bytes, the path an import
// takes: no crash, no hang (time zone and recurrence rules that would expand
// without end, and lines libical would read in quadratic time, are
// bounded), every text it hands out is valid UTF-8, and reading the file a
// few items at a time gives exactly what reading it whole gives.
#include <cstdint>
#include <string_view>

#include "fuzz/card_texts.h"
#include "fuzz/fuzz_check.h"
#include "interchange/ical_reader.h"
#include "interchange/text_encoding.h"

using namespace calyra::interchange;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto result = ParseICalendar(bytes);
    for (const auto& item : result.items)
        calyra::fuzz::ForEachText(item, [](const std::string& s) { FUZZ_CHECK(IsValidUtf8(s)); });
    for (size_t perBatch : {1, 2}) {
        ICalParseResult batched;
        size_t readSoFar = 0;
        ReadICalendarBatches(bytes, perBatch, [&](ICalParseResult& batch, size_t read) {
            FUZZ_CHECK(batch.items.size() <= perBatch);
            FUZZ_CHECK(read >= readSoFar && read <= bytes.size());
            readSoFar = read;
            for (auto& item : batch.items) batched.items.push_back(std::move(item));
            for (auto& d : batch.report.diagnostics) batched.report.diagnostics.push_back(std::move(d));
            for (const auto& [name, n] : batch.report.unmapped) batched.report.unmapped[name] += n;
        });
        FUZZ_CHECK(readSoFar == bytes.size());
        FUZZ_CHECK(batched.items == result.items);
        FUZZ_CHECK(batched.report.unmapped == result.report.unmapped);
        FUZZ_CHECK(batched.report.diagnostics.size() == result.report.diagnostics.size());
        for (size_t i = 0; i < result.report.diagnostics.size(); ++i) {
            const auto &a = result.report.diagnostics[i], &b = batched.report.diagnostics[i];
            FUZZ_CHECK(a.line == b.line && a.what == b.what && a.skipped == b.skipped);
        }
    }
    return 0;
}
