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

#include <string>
#include <string_view>

namespace calyra::cli {

// `text` (UTF-8) without accents and case, for substring matching.
std::string FoldForSearch(std::string_view text);

// `text` (UTF-8) case-folded only, for matching a name exactly.
std::string FoldCase(std::string_view text);

// A-Z made a-z, every other byte as it is: for words of the command line
// and of file formats, which are ASCII.
std::string AsciiLower(std::string_view text);

// <0, 0 or >0 as `a` sorts before, with or after `b` (UTF-8).
int CollateForSort(std::string_view a, std::string_view b);

}  // namespace calyra::cli
