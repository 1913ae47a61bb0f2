// What `contacts find TEXT` matches: a contact is found when every word of
// the text occurs in one of its names (first, middle, last, nick), its
// company or one of its e-mail addresses, compared without case and
// accents ("muller" and "MÜLLER" find "Müller"; "Mueller" stays another
// spelling), or when the text is a phone number that one of its numbers
// ends with.
//
// Phone numbers are compared by their significant digits: every digit
// after dropping an international prefix ("+" or "00") or else a national
// trunk "0". Two numbers match when the shorter digit string ends the
// longer one and has at least kPhoneMatchDigits digits, so "+49 30
// 1234567", "0049301234567", "030 1234567" and "(030) 123-4567" all find
// the same number, and so does "1234567" (the number without its area
// code). A text counts as a phone number when it holds only digits, spaces
// and "+-()./" and has at least kPhoneMatchDigits digits: shorter digit
// runs would find too many numbers by chance.
//
// Ownership: the query keeps its folded words and digits by value.
// Thread-safety: matching is const and reads only what it is given.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "idl/calyra_idl.h"
#include "records/profile_contacts.h"

namespace calyra::cli {

inline constexpr size_t kPhoneMatchDigits = 6;

// Whether two phone numbers are the same number by the rules above (an
// import matches contacts by them too).
bool SamePhoneNumber(std::string_view a, std::string_view b);

class ContactQuery {
public:
    // Throws ClientError (status 2) for a text without a word.
    explicit ContactQuery(std::string_view text);

    // `all` must hold the contacts' phones and e-mails.
    bool matches(const ProfileContacts& all, const tagContactInfo& contact) const;

private:
    std::vector<std::string> m_words;  // folded
    std::string m_digits;              // significant digits; empty when the text is no phone number
};

}  // namespace calyra::cli
