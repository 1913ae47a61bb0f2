// How the client compares texts people type with texts it stored: folded
// for matching (case and accents ignored: "muller" and "MÜLLER" both find
// "Müller"), case-folded for names taken in place of IDs ("family" names
// the group "Family" but not "Fämily"), and collated for sorting (the
// root locale's order, digits by their numeric value, so "2" sorts before
// "10" and "Ångström" beside "Angstrom").
//
// Folding is ICU's "NFD; [:Nonspacing Mark:] Remove; NFC" followed by full
// case folding ("Straße" folds to "strasse"); ASCII text, the common case,
// takes a shortcut that gives the same result.
//
// Ownership: results are returned by value; the ICU objects are built on
// first use and live until exit. Thread-safety: one thread (ICU's
// transliterators and collators are not shared across threads here).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace calyra::cli {

// `text` (UTF-8) without accents and case, for substring matching.
std::string FoldForSearch(std::string_view text);

// `text` (UTF-8) case-folded only, for matching a name exactly.
std::string FoldCase(std::string_view text);

// A-Z made a-z, every other byte as it is: for words of the command line
// and of file formats, which are ASCII.
std::string AsciiLower(std::string_view text);

// What a `find` command looks for: the words of a text, folded. A record
// is found when every word occurs in one of its texts, folded the same way
// ("muller berlin" finds a meeting "Müller" in "Berlin").
class SearchWords {
public:
    explicit SearchWords(std::string_view text);
    // No word at all (the text was empty or blank).
    bool empty() const { return m_words.empty(); }
    const std::vector<std::string>& words() const { return m_words; }
    // Whether every word occurs in one of `texts` (as stored: UTF-8, not
    // folded yet).
    bool foundIn(std::initializer_list<std::string_view> texts) const;
    // The same over texts already folded with FoldForSearch.
    bool foundInFolded(const std::vector<std::string>& folded) const;

private:
    std::vector<std::string> m_words;
};

// <0, 0 or >0 as `a` sorts before, with or after `b` (UTF-8).
int CollateForSort(std::string_view a, std::string_view b);

}  // namespace calyra::cli
