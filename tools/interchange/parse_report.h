// What a reader found besides the items themselves: problems with their
// line numbers, and the properties it read but has nowhere to keep.
//
// A reader never stops at the first problem: a broken entry is skipped
// (skipped = true) and the rest of the file is read; a broken property is
// dropped from its entry (skipped = false) and the entry is kept.
//
// Ownership: plain values. Thread-safety: as a plain value.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace calyra::interchange {

struct Diagnostic {
    size_t line = 0;       // 1-based line in the file where the problem starts
    std::string what;      // "card has no END:VCARD"
    bool skipped = false;  // the whole entry was left out
};

struct ParseReport {
    std::vector<Diagnostic> diagnostics;
    // Property name (upper case, "X-FOO", "PHOTO") -> how many times a
    // property with no place in the structures was met.
    std::map<std::string, size_t> unmapped;

    void warn(size_t line, std::string what) { diagnostics.push_back({line, std::move(what), false}); }
    void skip(size_t line, std::string what) { diagnostics.push_back({line, std::move(what), true}); }
    void count(const std::string& property) { ++unmapped[property]; }
    size_t skippedEntries() const {
        size_t n = 0;
        for (const auto& d : diagnostics) n += d.skipped ? 1 : 0;
        return n;
    }
};

}  // namespace calyra::interchange
