// What an import did, for people and for scripts: how many entries landed,
// how many were skipped and why (file and line), what the files held that
// the records have no place for, and the side effects (groups or
// categories created, exceptions added).
//
// Ownership: plain values. Thread-safety: one thread.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "interchange/parse_report.h"
#include "shell/output.h"

namespace calyra::cli {

class ImportReport {
public:
    explicit ImportReport(std::string what) : m_what(std::move(what)) {}

    // The reader's findings for one file.
    void addParse(const std::string& file, const interchange::ParseReport& parse);
    void imported() { ++m_imported; }
    // An entry the reader accepted but the database did not take.
    void skip(const std::string& file, size_t line, const std::string& why);
    void warn(const std::string& file, size_t line, const std::string& why);
    // A value read but not stored ("EXDATE", "N prefix"), counted by name.
    void notStored(const std::string& name, size_t n = 1) { m_notStored[name] += n; }
    // Side effects: "groups_created", "exceptions" ...
    void count(const std::string& name, size_t n = 1) { m_counts[name] += n; }

    size_t importedCount() const { return m_imported; }
    size_t skippedCount() const;

    // {"imported", "skipped", "diagnostics": [{file, line, what, skipped}],
    //  "not_stored": {name: n}, and the side-effect counts}.
    Json json() const;
    // "imported 12 contacts, skipped 2" and one line per diagnostic and
    // per kind of value not stored.
    std::string text() const;

private:
    struct Entry {
        std::string file;
        size_t line;
        std::string what;
        bool skipped;
    };
    std::string m_what;  // "contacts"
    size_t m_imported = 0;
    std::vector<Entry> m_diagnostics;
    std::map<std::string, size_t> m_notStored;
    std::map<std::string, size_t> m_counts;
};

}  // namespace calyra::cli
