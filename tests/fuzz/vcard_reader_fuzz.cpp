// The vCard reader on any bytes: no crash, no hang, and the properties
// every reader holds (fuzz/reader_checks.h): valid UTF-8 texts, and a file
// read a few cards at a time, a few bytes at a time, is the file read whole.
#include <cstdint>
#include <string_view>

#include "fuzz/reader_checks.h"
#include "interchange/vcard_batches.h"
#include "interchange/vcard_reader.h"

using namespace calyra::interchange;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    calyra::fuzz::CheckReader(
        std::string_view(reinterpret_cast<const char*>(data), size), &VCardParseResult::cards,
        [](std::string_view bytes) { return ParseVCards(bytes); },
        [](std::string_view bytes, size_t perBatch, const auto& visit) {
            // Read in pieces of a few bytes, so that lines, marks and cards
            // straddle them.
            ReadVCardBatches(PiecesOf(bytes, perBatch == 1 ? 3 : 61), perBatch, visit);
        },
        false);
    return 0;
}
