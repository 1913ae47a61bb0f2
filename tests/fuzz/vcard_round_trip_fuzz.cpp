// Cards read from any bytes, written as vCard 3.0 and as 4.0 and read back,
// are the cards that were written: the writer loses nothing the reader can
// hold, and nothing drifts from one round trip to the next. What it writes
// is UTF-8 folded at 75 octets, and reads back without a complaint.
// Properties the card has no field for travel as kept lines, so a re-read
// may name them as unmapped; they must come back equal like the rest.
#include <cstdint>
#include <string_view>

#include "fuzz/reader_checks.h"
#include "interchange/vcard_reader.h"
#include "interchange/vcard_writer.h"

namespace {

using namespace calyra::interchange;

// The cards as a second read gives them: line numbers are where the card
// stood in its file and differ by nature, and a card without FN gets the
// display name the writer must put there (3.0 and 4.0 require FN).
std::vector<ContactCard> Comparable(std::vector<ContactCard> cards) {
    for (auto& card : cards) {
        card.line = 0;
        if (card.formattedName.empty()) card.formattedName = DisplayName(card);
    }
    return cards;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto first = Comparable(ParseVCards(bytes).cards);
    if (first.empty()) return 0;
    for (VCardVersion version : {VCardVersion::V3, VCardVersion::V4}) {
        const std::string written = WriteVCards(first, version);
        calyra::fuzz::CheckWritten(written);
        auto reread = ParseVCards(written);
        FUZZ_CHECK(reread.report.diagnostics.empty());
        auto again = Comparable(std::move(reread.cards));
        FUZZ_CHECK(again.size() == first.size());
        // A card that drifted shows as the writer sees it, before and after.
        for (size_t i = 0; i < first.size(); ++i)
            FUZZ_CHECK_SHOWING(again[i] == first[i], "before:\n%s\nafter a round trip:\n%s\n",
                               WriteVCard(first[i], version).c_str(), WriteVCard(again[i], version).c_str());
    }
    return 0;
}
