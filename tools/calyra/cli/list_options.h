// --sort FIELD, --reverse and --fields A,B,C of a command that lists
// records: the order of the rows and which fields each row shows, in a
// table and in JSON alike. Field names are the JSON keys of the rows; a
// name the rows do not have is a usage error (exit 2) that lists them.
//
// Texts sort the way people read them (session/text_matching.h: case and
// accents second, numbers by value, so IDs sort as numbers); empty values
// go last either way; rows that tie keep the order the component gave.
//
// Ownership: the options' values live in the object, which must stay where
// it is once the options are added (a member of a command's options struct). Thread-safety: one thread, like the
// command line.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "idl/typelib_description.h"
#include "output/output.h"

namespace calyra::cli {

class ListOptions {
public:
    // Adds the options to `command`. `fields` are every key a row has;
    // `columns` the ones a table shows when --fields is not given.
    void add(CLI::App& command, std::vector<std::string> fields, std::vector<std::string> columns);

    // The field keys of a record (records/record_fields.h), then `extra`.
    static std::vector<std::string> KeysOf(const RecordDesc& desc, std::vector<std::string> extra = {});

    // Sorts and cuts `rows` as asked and shows them. Throws ClientError
    // (status 2) for a field name the rows do not have.
    void show(const Output& out, Json rows) const;

private:
    const std::string& checked(const std::string& name, const char* option) const;

    std::vector<std::string> m_fields;
    std::vector<std::string> m_columns;
    std::string m_sort;
    bool m_reverse = false;
    std::string m_chosen;  // --fields as given
};

}  // namespace calyra::cli
