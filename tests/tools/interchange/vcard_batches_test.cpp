// Reading a vCard input in batches on a thread beside the caller's: that
// the batches equal a whole read is the vCard fuzz target's property. Here:
// a failure on either side reaches the caller, and the reader stops with it.
#include "interchange/vcard_batches.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace calyra::interchange {
namespace {

std::string Cards(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:P" + std::to_string(i) + "\r\nEND:VCARD\r\n";
    return text;
}

TEST(VCardBatches, AFailureOnEitherSideReachesTheCallerAndStopsTheReader) {
    const std::string text = Cards(400);
    struct Case {
        const char* what;
        size_t failingPiece;  // the source throws when asked for it (0: never)
        size_t failingBatch;  // the visitor throws when handed it (0: never)
        size_t batchesSeen;
    };
    for (const Case& c : {Case{"the source cannot read", 12, 0, 1}, Case{"the caller stops", 0, 3, 3}}) {
        SCOPED_TRACE(c.what);
        std::atomic<size_t> pieces = 0;
        const ByteSource pieceOf = PiecesOf(text, 100);
        const ByteSource source = [&](std::string& out) {
            if (++pieces == c.failingPiece) throw std::runtime_error(c.what);
            return pieceOf(out);
        };
        size_t batches = 0, cards = 0;
        try {
            ReadVCardBatches(source, 10, [&](VCardParseResult& batch, size_t) {
                cards += batch.cards.size();
                if (++batches == c.failingBatch) throw std::runtime_error(c.what);
            });
            ADD_FAILURE() << "no failure came through";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), c.what);
        }
        EXPECT_EQ(batches, c.batchesSeen);
        EXPECT_EQ(cards, 10 * c.batchesSeen) << "every batch handed over is whole";
        // The reader went on at most a few batches past the caller.
        EXPECT_LT(pieces.load(), text.size() / 100 / 2);
    }
}

}  // namespace
}  // namespace calyra::interchange
