// Reads a vCard file a few cards at a time, so an import of a million cards
// holds one batch of cards (and of the file's bytes) in memory instead of
// all of them. Each batch is
// what ParseVCards gives for that stretch of the file, with line numbers
// counted from the start of the file: reading in batches gives the same
// cards, diagnostics and counts as reading the whole file at once.
//
// The file is cut only between two cards: at a BEGIN:VCARD line that
// follows an END:VCARD leaving no card open, so an embedded 2.1 AGENT card
// or a card without END never straddles two batches. A UTF-16 file is
// converted whole first (its bytes cannot be cut by ASCII lines), and so is
// one whose lines end in a lone CR.
//
// Ownership: each batch is the callback's to keep or drop. Thread-safety:
// pure apart from the callback, which runs on the calling thread. The input
// is read, cut and parsed on other threads meanwhile, at most three batches
// ahead: a ByteSource is called on one of them, never two at once.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "interchange/vcard_reader.h"

namespace calyra::interchange {

// Calls `visit` with each batch in file order and the number of bytes of
// `bytes` read so far (the caller may release them: no later batch looks
// back).
void ReadVCardBatches(std::string_view bytes, size_t cardsPerBatch,
                      const std::function<void(VCardParseResult& batch, size_t bytesRead)>& visit);

// Appends the next piece of an input to `out`; false, appending nothing,
// once the input has ended. Throws when it cannot read.
using ByteSource = std::function<bool(std::string& out)>;

// A source handing out `bytes` `pieceBytes` at a time; `bytes` must
// outlive it.
ByteSource PiecesOf(std::string_view bytes, size_t pieceBytes);

// ReadVCardBatches on an input read a piece at a time: the bytes of the
// batches handed over are let go, so memory holds about a batch and a
// piece whatever the input's size.
void ReadVCardBatches(const ByteSource& input, size_t cardsPerBatch,
                      const std::function<void(VCardParseResult& batch, size_t bytesRead)>& visit);

}  // namespace calyra::interchange
