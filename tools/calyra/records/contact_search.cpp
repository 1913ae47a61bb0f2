#include "records/contact_search.h"

#include <algorithm>
#include <cctype>

#include "platform/bstr.h"
#include "session/client_error.h"
#include "session/text_matching.h"

namespace calyra::cli {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The digits that name the number wherever it is dialled from.
std::string SignificantDigits(std::string_view number) {
    std::string digits;
    for (char c : number)
        if (IsDigit(c)) digits += c;
    const size_t plus = number.find('+'), first = number.find_first_of("0123456789");
    if (plus != std::string_view::npos && plus < first) return digits;
    if (digits.rfind("00", 0) == 0) return digits.substr(2);
    if (digits.rfind('0', 0) == 0) return digits.substr(1);
    return digits;
}

bool SameNumber(const std::string& a, const std::string& b) {
    const std::string& shorter = a.size() <= b.size() ? a : b;
    const std::string& longer = a.size() <= b.size() ? b : a;
    return shorter.size() >= kPhoneMatchDigits &&
           longer.compare(longer.size() - shorter.size(), shorter.size(), shorter) == 0;
}

}  // namespace

bool SamePhoneNumber(std::string_view a, std::string_view b) {
    return SameNumber(SignificantDigits(a), SignificantDigits(b));
}

ContactQuery::ContactQuery(std::string_view text) {
    const std::string folded = FoldForSearch(text);
    size_t start = 0;
    while (start < folded.size()) {
        const size_t end = std::min(folded.find(' ', start), folded.size());
        if (end > start) m_words.push_back(folded.substr(start, end - start));
        start = end + 1;
    }
    if (m_words.empty()) throw ClientError("contacts find: give a text to look for", 2);
    const bool phoneLike = std::all_of(text.begin(), text.end(), [](char c) {
        return IsDigit(c) || std::string_view(" +-()./").find(c) != std::string_view::npos;
    });
    if (phoneLike) m_digits = SignificantDigits(text);
    if (m_digits.size() < kPhoneMatchDigits) m_digits.clear();
}

bool ContactQuery::matches(const ProfileContacts& all, const tagContactInfo& contact) const {
    const std::string id = BstrUtf8(contact.bstrContactID);
    if (!m_digits.empty())
        for (const auto& phone : all.items(*FindDetailFamily("phone"), id))
            if (SameNumber(m_digits, SignificantDigits(phone.value("phone_number", "")))) return true;

    std::vector<std::string> texts;
    for (BSTR field : {contact.bstrFirstName, contact.bstrMiddleName, contact.bstrLastName, contact.bstrNickName,
                       contact.bstrCompanyName})
        texts.push_back(FoldForSearch(BstrUtf8(field)));
    for (const auto& email : all.items(*FindDetailFamily("email"), id))
        texts.push_back(FoldForSearch(email.value("email", "")));
    return std::all_of(m_words.begin(), m_words.end(), [&](const std::string& word) {
        return std::any_of(texts.begin(), texts.end(),
                           [&](const std::string& t) { return t.find(word) != std::string::npos; });
    });
}

}  // namespace calyra::cli
