// The vCard reader on any bytes: no crash, no hang, and every text it hands
// out is valid UTF-8 whatever the file's encoding claimed.
#include <cstdint>
#include <string_view>

#include "fuzz/card_texts.h"
#include "fuzz/fuzz_check.h"
#include "interchange/text_encoding.h"
#include "interchange/vcard_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto result = calyra::interchange::ParseVCards(bytes);
    for (const auto& card : result.cards)
        calyra::fuzz::ForEachText(card, [](const std::string& s) { FUZZ_CHECK(calyra::interchange::IsValidUtf8(s)); });
    return 0;
}
