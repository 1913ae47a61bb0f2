// The list, show, add and rm commands, written once over a description of
// a record family (contacts, groups, categories, profiles, events, tasks):
// how its rows are read, how one is found by what people type, how one is
// named in messages and how it goes. A family's table then holds
//
//   ListRow<kGroups>("List the contact groups with their member counts"),
//   ShowRow<kGroups>("Show a contact group"),
//   RmRow<kGroups>("Delete contact groups (their contacts stay; all or none)"),
//
// beside the rows of its own commands. Add is the same skeleton for every
// family (AddRecord), with what a family's options are.
//
// Rows are JSON values as records/record_fields.h gives them. IDs that are
// numbers only (contacts, events, tasks) are checked before the file is
// opened, so a typo is a usage error (exit 2) whatever the file's state.
//
// Ownership: the descriptions are constant and live for the program; the
// options structs belong to the CommandContext (cli/command_row.h).
// Thread-safety: one thread, like the command line.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/command_row.h"
#include "cli/list_options.h"
#include "idl/owned_record.h"
#include "records/record_fields.h"
#include "session/transaction.h"

namespace calyra::cli {

struct RecordFamily {
    const char* what;    // "contact group": what an ID names in messages
    const char* idKey;   // "contact_group_id": the rows' ID field
    const char* idsKey;  // "contact_group_ids": rm's JSON
    // The positional arguments of show (one) and rm (several): their names
    // and help, "group", "Contact group ID or name", "groups", ...
    const char* argName;
    const char* argHelp;
    const char* argsName;
    const char* argsHelp;
    // Commands take an ID or a name (session/record_id.h); else only an ID,
    // checked before the file opens.
    bool byName;
    std::vector<std::string> (*fields)();                        // every key of a list row (--fields, --sort)
    const std::vector<std::string>& (*columns)();                // a table's columns without --fields
    Json (*rows)(CommandContext& ctx);                           // the rows list shows, in their order
    Json (*find)(CommandContext& ctx, const std::string& text);  // the row named; refuses one not there
    Json (*show)(CommandContext& ctx, const Json& found);        // what show prints; nullptr: the row
    std::string (*label)(const Json& row);                       // "3 (Ann Lee)"; nullptr: the ID
    std::string (*noun)(const Json& row);                        // "exception"; nullptr: `what`
    void (*remove)(CommandContext& ctx, Transaction& transaction, const std::string& id);
};

// `text` as the family takes it: checked when the family's IDs are numbers
// only (throws ClientError, status 2), else as typed.
const std::string& CheckedArgument(const RecordFamily& family, const std::string& text);

// list [--sort F] [--reverse] [--fields A,B]
struct ListCommand {
    const RecordFamily* family = nullptr;
    ListOptions shape;
};
void RunList(CommandContext& ctx, const ListCommand& o);
template <const RecordFamily& F>
void DeclareList(CLI::App& command, ListCommand& o) {
    o.family = &F;
    o.shape.add(command, F.fields(), F.columns());
}
template <const RecordFamily& F>
constexpr CommandRow ListRow(const char* help) {
    return Row<ListCommand, DeclareList<F>, RunList>("list", help, Access::Reads);
}

// show ID
struct ShowCommand {
    const RecordFamily* family = nullptr;
    std::string id;
};
void DeclareShowArgument(CLI::App& command, ShowCommand& o, const RecordFamily& family);
void RunShow(CommandContext& ctx, const ShowCommand& o);
template <const RecordFamily& F>
void DeclareShow(CLI::App& command, ShowCommand& o) {
    DeclareShowArgument(command, o, F);
}
template <const RecordFamily& F>
constexpr CommandRow ShowRow(const char* help) {
    return Row<ShowCommand, DeclareShow<F>, RunShow>("show", help, Access::Reads);
}

// rm ID...: every one found before any goes, then all in one transaction.
struct RmCommand {
    const RecordFamily* family = nullptr;
    std::vector<std::string> ids;
};
void DeclareRmArguments(CLI::App& command, RmCommand& o, const RecordFamily& family);
void RunRm(CommandContext& ctx, const RmCommand& o);
template <const RecordFamily& F>
void DeclareRm(CLI::App& command, RmCommand& o) {
    DeclareRmArguments(command, o, F);
}
template <const RecordFamily& F>
constexpr CommandRow RmRow(const char* help) {
    return Row<RmCommand, DeclareRm<F>, RunRm>("rm", help, Access::Writes);
}
// rm's skeleton with a removal of the caller's (categories rm
// --with-events): says "deleted <what> <labels><suffix>".
void RemoveRecords(CommandContext& ctx, const RecordFamily& family, const std::vector<std::string>& texts,
                   const std::function<void(Transaction&, const std::string& id)>& remove,
                   const std::string& suffix = "");

// How `add` makes one record of a family, the same steps for every family:
//   1. `fill` lays the options over a fresh record; every text that cannot
//      be read is refused (exit status 2) before the file is touched;
//   2. `insert` checks it against what is stored and stores it, giving the
//      new ID;
//   3. `done` shows the outcome; nullptr: "added <what> ID (label)" with
//      {"<id key>": ID}.
template <class Record>
struct RecordAdd {
    const RecordFamily& family;
    std::function<void(Record*)> fill;
    std::function<std::string(Record*)> insert;
    std::function<std::string(const Record&)> label;  // "Ann Lee", for the message; nullptr: none
    std::function<void(const std::string& id, const Record&)> done;
};

void ReportAdded(CommandContext& ctx, const RecordFamily& family, const std::string& id, const std::string& label);

template <class Record>
void AddRecord(CommandContext& ctx, const RecordAdd<Record>& add) {
    OwnedRecord<Record> record;
    add.fill(&record);
    const std::string id = add.insert(&record);
    if (add.done) return add.done(id, record);
    ReportAdded(ctx, add.family, id, add.label ? add.label(record) : std::string());
}

}  // namespace calyra::cli
