#include "session/text_matching.h"

#include <unicode/coll.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace calyra::cli {
namespace {

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string Utf8Of(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

// `text` without accents: decomposed (NFD), its nonspacing marks removed,
// composed again (NFC). Done with the normalizers rather than a
// transliterator with those three rules: the same result at a tenth of the
// cost (an import folds every card's names), and the normalizer instances
// may be used from several threads at once.
void RemoveAccents(icu::UnicodeString& text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) throw std::runtime_error("ICU cannot build the accent remover");
    icu::UnicodeString decomposed = nfd->normalize(text, status), kept;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) kept.append(c);
        i += U16_LENGTH(c);
    }
    text = nfc->normalize(kept, status);
    if (U_FAILURE(status)) throw std::runtime_error("ICU cannot remove accents");
}

icu::Collator& SortOrder() {
    static const std::unique_ptr<icu::Collator> collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !c) throw std::runtime_error("ICU cannot build the sort order");
        c->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
        return c;
    }();
    return *collator;
}

}  // namespace

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string FoldForSearch(std::string_view text) {
    if (IsAscii(text)) return AsciiLower(text);
    icu::UnicodeString u =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    RemoveAccents(u);
    return Utf8Of(u.foldCase());
}

std::string FoldCase(std::string_view text) {
    if (IsAscii(text)) return AsciiLower(text);
    icu::UnicodeString u =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    return Utf8Of(u.foldCase());
}

SearchWords::SearchWords(std::string_view text) {
    const std::string folded = FoldForSearch(text);
    size_t start = 0;
    while (start < folded.size()) {
        const size_t end = std::min(folded.find_first_of(" \t", start), folded.size());
        if (end > start) m_words.push_back(folded.substr(start, end - start));
        start = end + 1;
    }
}

bool SearchWords::foundIn(std::initializer_list<std::string_view> texts) const {
    std::vector<std::string> folded;
    folded.reserve(texts.size());
    for (std::string_view t : texts) folded.push_back(FoldForSearch(t));
    return foundInFolded(folded);
}

bool SearchWords::foundInFolded(const std::vector<std::string>& folded) const {
    return std::all_of(m_words.begin(), m_words.end(), [&](const std::string& word) {
        return std::any_of(folded.begin(), folded.end(),
                           [&](const std::string& t) { return t.find(word) != std::string::npos; });
    });
}

int CollateForSort(std::string_view a, std::string_view b) {
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r =
        SortOrder().compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                                icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    if (U_FAILURE(status)) return a.compare(b);
    return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

}  // namespace calyra::cli
