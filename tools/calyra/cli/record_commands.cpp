#include "cli/record_commands.h"

#include <algorithm>

#include "session/record_id.h"

namespace calyra::cli {

const std::string& CheckedArgument(const RecordFamily& family, const std::string& text) {
    if (!family.byName) CheckedId(text, family.what);
    return text;
}

void RunList(CommandContext& ctx, const ListCommand& o) { o.shape.show(ctx.out(), o.family->rows(ctx)); }

void DeclareShowArgument(CLI::App& command, ShowCommand& o, const RecordFamily& family) {
    o.family = &family;
    command.add_option(family.argName, o.id, family.argHelp)->required();
}

void RunShow(CommandContext& ctx, const ShowCommand& o) {
    const RecordFamily& family = *o.family;
    const Json found = family.find(ctx, CheckedArgument(family, o.id));
    ctx.out().object(family.show ? family.show(ctx, found) : found);
}

void DeclareRmArguments(CLI::App& command, RmCommand& o, const RecordFamily& family) {
    o.family = &family;
    command.add_option(family.argsName, o.ids, family.argsHelp)->required();
}

void RunRm(CommandContext& ctx, const RmCommand& o) {
    const RecordFamily& family = *o.family;
    RemoveRecords(ctx, family, o.ids,
                  [&](Transaction& transaction, const std::string& id) { family.remove(ctx, transaction, id); });
}

void RemoveRecords(CommandContext& ctx, const RecordFamily& family, const std::vector<std::string>& texts,
                   const std::function<void(Transaction&, const std::string& id)>& remove, const std::string& suffix) {
    // Every ID is read before the file opens, then every record is found
    // before any goes.
    const std::vector<std::string> given = family.byName ? texts : UniqueIds(texts);
    for (const auto& text : given) CheckedArgument(family, text);
    std::vector<std::string> ids;
    std::string names, noun = family.what;
    for (const auto& text : given) {
        const Json row = family.find(ctx, text);
        const std::string id = row[family.idKey];
        if (std::find(ids.begin(), ids.end(), id) != ids.end()) continue;
        ids.push_back(id);
        // "event 4, 9, exception 12": the noun again where it changes.
        const std::string rowNoun = family.noun ? family.noun(row) : std::string(family.what);
        names += (names.empty() ? "" : ", ") + (rowNoun != noun || names.empty() ? rowNoun + " " : "") +
                 (family.label ? family.label(row) : id);
        noun = rowNoun;
    }
    Transaction transaction(ctx.session());
    for (const auto& id : ids) remove(transaction, id);
    transaction.commit();
    Json result{{family.idsKey, ids}};
    if (ids.size() == 1) result[family.idKey] = ids.front();
    ctx.out().done("deleted " + names + suffix, result);
}

void ReportAdded(CommandContext& ctx, const RecordFamily& family, const std::string& id, const std::string& label) {
    ctx.out().done("added " + std::string(family.what) + " " + id + (label.empty() ? "" : " (" + label + ")"),
                   Json{{family.idKey, id}});
}

}  // namespace calyra::cli
