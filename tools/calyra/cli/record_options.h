// Command-line options for a record's fields, driven by the type library's
// description of the record (records/record_fields.h): one
// "--key-name VALUE" per field, read the way SetField reads a text.
//
// Ownership: the options belong to the CLI11 command they were added to and
// write into this object, which must stay where it is once they are added
// (an options struct the CommandContext owns; cli/command_row.h).
// Thread-safety: one thread, like the command line.
#pragma once

#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include <CLI/CLI.hpp>

#include "records/record_fields.h"

namespace calyra::cli {

// Command-line options for a record's fields: one "--key-name VALUE" per
// field except those in `skip` (IDs, modification stamps). After parsing,
// apply() writes the given ones into a record, leaving the others alone.
class RecordOptions {
public:
    RecordOptions() = default;
    RecordOptions(const RecordOptions&) = delete;
    RecordOptions& operator=(const RecordOptions&) = delete;
    RecordOptions(RecordOptions&&) = default;  // only before add()
    RecordOptions& operator=(RecordOptions&&) = default;

    // Adds the options to `command`.
    void add(CLI::App& command, const RecordDesc& desc, const std::vector<std::string>& skip);
    template <class R>
    void add(CLI::App& command, std::type_identity<R>, const std::vector<std::string>& skip) {
        add(command, RecordDescriptionOf<R>(), skip);
    }

    // Number of options given on the command line.
    size_t given() const;
    void apply(void* record) const;
    // The text given for a key, or nullptr.
    const std::string* value(const std::string& key) const;

private:
    const RecordDesc* m_desc = nullptr;
    std::map<std::string, std::string> m_values;  // key -> text, filled by CLI11
    std::map<std::string, CLI::Option*> m_options;
};

// RefuseCutTexts (records/text_limits.h), replacing what the command's
// record options give.
void RefuseCutTexts(const RecordDesc& desc, const void* record, const RecordOptions& given, const std::string& what);

}  // namespace calyra::cli
