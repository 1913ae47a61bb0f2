#include "records/contact_search.h"

#include <algorithm>
#include <cctype>

#include "platform/bstr.h"
#include "session/client_error.h"
#include "session/text_matching.h"

namespace calyra::cli {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Where a "(0)" group starts at `at` (spaces allowed inside), the index
// just past its ")"; else `at`.
size_t PastTrunkZero(std::string_view number, size_t at) {
    if (number[at] != '(') return at;
    size_t i = at + 1;
    while (i < number.size() && number[i] == ' ') ++i;
    if (i >= number.size() || number[i] != '0') return at;
    ++i;
    while (i < number.size() && number[i] == ' ') ++i;
    return i < number.size() && number[i] == ')' ? i + 1 : at;
}

}  // namespace

std::string PhoneMatchDigits(std::string_view number) {
    std::string digits;
    for (size_t i = 0; i < number.size();) {
        if (const size_t past = PastTrunkZero(number, i); past != i) {
            i = past;
            continue;
        }
        if (IsDigit(number[i])) digits += number[i];
        ++i;
    }
    const size_t plus = number.find('+'), first = number.find_first_of("0123456789");
    if (plus != std::string_view::npos && plus < first) return digits;
    if (digits.rfind("00", 0) == 0) return digits.substr(2);
    if (digits.rfind('0', 0) == 0) return digits.substr(1);
    return digits;
}

bool SamePhoneDigits(std::string_view a, std::string_view b) {
    const std::string_view shorter = a.size() <= b.size() ? a : b;
    const std::string_view longer = a.size() <= b.size() ? b : a;
    return shorter.size() >= kPhoneMatchDigits && longer.ends_with(shorter);
}

bool SamePhoneNumber(std::string_view a, std::string_view b) {
    return SamePhoneDigits(PhoneMatchDigits(a), PhoneMatchDigits(b));
}

ContactQuery::ContactQuery(std::string_view text) : m_words(text) {
    if (m_words.empty()) throw ClientError("contacts find: give a text to look for", 2);
    const bool phoneLike = std::all_of(text.begin(), text.end(), [](char c) {
        return IsDigit(c) || std::string_view(" +-()./").find(c) != std::string_view::npos;
    });
    if (phoneLike) m_digits = PhoneMatchDigits(text);
    if (m_digits.size() < kPhoneMatchDigits) m_digits.clear();
}

bool ContactQuery::matches(const ProfileContacts& all, const tagContactInfo& contact) const {
    const std::string id = BstrUtf8(contact.bstrContactID);
    if (!m_digits.empty())
        for (const auto& phone : all.items(*FindDetailFamily("phone"), id))
            if (SamePhoneDigits(m_digits, PhoneMatchDigits(phone.value("phone_number", "")))) return true;

    std::vector<std::string> texts;
    for (BSTR field : {contact.bstrFirstName, contact.bstrMiddleName, contact.bstrLastName, contact.bstrNickName,
                       contact.bstrCompanyName})
        texts.push_back(FoldForSearch(BstrUtf8(field)));
    for (const auto& email : all.items(*FindDetailFamily("email"), id))
        texts.push_back(FoldForSearch(email.value("email", "")));
    return m_words.foundInFolded(texts);
}

}  // namespace calyra::cli
