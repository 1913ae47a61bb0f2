// Writes ContactCards as vCard 3.0 (RFC 2426) or 4.0 (RFC 6350): CRLF line
// ends, lines folded at 75 octets without splitting a UTF-8 sequence, text
// escaped, and the properties the reader understands, so that reading the
// output gives the same cards back.
//
// Thread-safety: pure functions.
#pragma once

#include <string>
#include <vector>

#include "interchange/contact_card.h"

namespace calyra::interchange {

enum class VCardVersion { V3, V4 };

std::string WriteVCard(const ContactCard& card, VCardVersion version);
std::string WriteVCards(const std::vector<ContactCard>& cards, VCardVersion version);

// The name a card shows: FN if set, else the parts of N, else the
// organisation, else the first e-mail address or phone number.
std::string DisplayName(const ContactCard& card);

}  // namespace calyra::interchange
