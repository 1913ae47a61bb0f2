// The vCard reader on any bytes: no crash, no hang, every text it hands out
// is valid UTF-8 whatever the file's encoding claimed, and reading the file
// a few cards at a time (as large imports do) gives exactly what reading it
// whole gives.
#include <cstdint>
#include <string_view>

#include "fuzz/card_texts.h"
#include "fuzz/fuzz_check.h"
#include "interchange/text_encoding.h"
#include "interchange/vcard_batches.h"
#include "interchange/vcard_reader.h"

namespace {

using namespace calyra::interchange;

void CheckSame(const VCardParseResult& whole, const VCardParseResult& batched) {
    FUZZ_CHECK(batched.cards == whole.cards);
    FUZZ_CHECK(batched.report.unmapped == whole.report.unmapped);
    FUZZ_CHECK(batched.report.diagnostics.size() == whole.report.diagnostics.size());
    for (size_t i = 0; i < whole.report.diagnostics.size(); ++i) {
        const auto &a = whole.report.diagnostics[i], &b = batched.report.diagnostics[i];
        FUZZ_CHECK(a.line == b.line && a.what == b.what && a.skipped == b.skipped);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto result = ParseVCards(bytes);
    for (const auto& card : result.cards)
        calyra::fuzz::ForEachText(card, [](const std::string& s) { FUZZ_CHECK(IsValidUtf8(s)); });
    for (size_t perBatch : {1, 2}) {
        VCardParseResult batched;
        size_t readSoFar = 0;
        ReadVCardBatches(bytes, perBatch, [&](VCardParseResult& batch, size_t read) {
            FUZZ_CHECK(read >= readSoFar && read <= bytes.size());
            readSoFar = read;
            for (auto& card : batch.cards) batched.cards.push_back(std::move(card));
            for (auto& d : batch.report.diagnostics) batched.report.diagnostics.push_back(std::move(d));
            for (const auto& [name, n] : batch.report.unmapped) batched.report.unmapped[name] += n;
        });
        FUZZ_CHECK(readSoFar == bytes.size());
        CheckSame(result, batched);
    }
    return 0;
}
