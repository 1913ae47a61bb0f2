// What an import did, for people and for scripts: how many entries were
// added, updated from a changed entry, found unchanged (a re-import), and
// skipped and why (file and line), what the files held that
// the records have no place for, and the side effects (groups or
// categories created, exceptions added).
//
// Ownership: plain values. Thread-safety: one thread.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "interchange/parse_report.h"
#include "output/output.h"

namespace calyra::cli {

class ImportReport {
public:
    explicit ImportReport(std::string what) : m_what(std::move(what)) {}

    // The reader's findings for one file.
    void addParse(const std::string& file, const interchange::ParseReport& parse);
    // An entry stored as a new record.
    void imported() { ++m_imported; }
    // An entry that matched a stored record and changed it.
    void updated() { ++m_updated; }
    // An entry that matched a stored record equal to it.
    void unchanged() { ++m_unchanged; }
    // An entry the reader accepted but the database did not take.
    void skip(const std::string& file, size_t line, const std::string& why);
    void warn(const std::string& file, size_t line, const std::string& why);
    // A value read but not stored ("EXDATE", "N prefix"), counted by name.
    void notStored(const std::string& name, size_t n = 1) { m_notStored[name] += n; }
    // Side effects: "groups_created", "exceptions" ...
    void count(const std::string& name, size_t n = 1) { m_counts[name] += n; }

    size_t importedCount() const { return m_imported; }
    size_t updatedCount() const { return m_updated; }
    size_t unchangedCount() const { return m_unchanged; }
    size_t skippedCount() const;
    // Entries failed and none was stored or found stored: the import did
    // nothing the user asked for, so the command fails.
    bool failedWhole() const { return skippedCount() > 0 && m_imported + m_updated + m_unchanged == 0; }
    // The files held no entry of the kind at all (an empty file, another
    // kind of file): nothing to import is not a successful import.
    bool foundNothing() const { return skippedCount() == 0 && m_imported + m_updated + m_unchanged == 0; }

    // {"added", "updated", "unchanged", "skipped", "diagnostics": [{file,
    //  line, what, skipped}], "not_stored": {name: n}, and the side-effect
    //  counts}. Diagnostics come in file order and by line within a file,
    //  however the import found them.
    Json json() const;
    // "added 12 contacts, updated 1, unchanged 40, skipped 2" and one line
    // per diagnostic and per kind of value not stored.
    std::string text() const;

private:
    struct Entry {
        std::string file;
        size_t line;
        std::string what;
        bool skipped;
    };
    std::vector<Entry> diagnostics() const;  // in file order, by line

    std::string m_what;  // "contacts"
    size_t m_imported = 0;
    size_t m_updated = 0;
    size_t m_unchanged = 0;
    std::vector<Entry> m_diagnostics;
    std::map<std::string, size_t> m_notStored;
    std::map<std::string, size_t> m_counts;
};

// How many times `begin` ("BEGIN:VCARD") occurs in `bytes`, case ignored
// as the readers ignore it: about how many entries of that kind it holds.
size_t EntriesIn(std::string_view bytes, std::string_view begin);

// What a file holds of the kinds calyra imports, for an import that found
// none of its own kind: "3 events and 1 task (import them with 'calyra
// events import' and 'calyra tasks import')", "2 contacts (vCards; ...)";
// empty when it holds none of them (counted with EntriesIn).
std::string WhatTheFileHolds(std::string_view bytes);

}  // namespace calyra::cli
