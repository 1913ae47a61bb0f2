// Reads vCard 2.1, 3.0 and 4.0 files (RFC 2426, RFC 6350 and the 2.1
// shapes phones and older desktop programs still write) into ContactCards.
//
// Unreadable cards (no END:VCARD, a line that is not a property, nothing to
// import) are skipped with their line number; unreadable values (a
// birthday that is not a date) are dropped from their card with a
// diagnostic; properties that ContactCard has no place for are counted by
// name in the report. Text is returned as UTF-8 whatever the file's
// encoding (quoted-printable, CHARSET, UTF-16, unlabelled Windows-1252).
//
// Thread-safety: pure function.
#pragma once

#include <string_view>
#include <vector>

#include "interchange/contact_card.h"
#include "interchange/parse_report.h"

namespace calyra::interchange {

struct VCardParseResult {
    std::vector<ContactCard> cards;
    ParseReport report;
};

VCardParseResult ParseVCards(std::string_view bytes);
// The same for text already taken out of its byte-order mark and UTF-16
// (NormalizeInput), so a file read in parts is normalized once.
VCardParseResult ParseVCardText(std::string_view text);

// Reads a vCard date: "1985-04-12", "19850412", "--0412", "--04-12",
// "1985-04-12T10:00:00Z" (the time is dropped). std::nullopt if it is none.
std::optional<CardDate> ParseCardDate(std::string_view text);

}  // namespace calyra::interchange
