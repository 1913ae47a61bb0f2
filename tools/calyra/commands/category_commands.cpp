// categories list|show|add|edit|select|deselect|rm: the user's own event
// categories, whose "selected" flag decides what `events list --selected`
// shows. Every command that takes a category takes its ID or its name.
//
// Thread-safety: one thread, like the command line.
#include <algorithm>
#include <cctype>

#include <fmt/format.h>

#include "cli/record_commands.h"
#include "cli/record_edit.h"
#include "cli/record_options.h"
#include "platform/bstr.h"
#include "records/event_records.h"
#include "records/named_records.h"
#include "records/record_fields.h"
#include "records/record_rows.h"
#include "records/text_limits.h"
#include "session/client_error.h"
#include "session/record_id.h"
#include "session/transaction.h"
#include "tables/sql_text.h"

#include "cli/command_context.h"
#include "cli/list_options.h"
#include "commands/command_tree.h"

namespace calyra::cli {
// Named, not anonymous: the commands library is compiled a few files at a
// time, and each family has its own AddOptions, RunAdd, ...
namespace category_commands {

const std::vector<std::string> kCategoryColumns{"event_category_id", "event_category_name", "color", "to_be_synced",
                                                "is_selected"};
const std::vector<std::string> kOwnOptions{"event_category_id", "event_category_name", "color", "modified"};

// The component keeps the colour as an opaque 32-bit number; the phone
// programs that share the file read it as a Windows COLORREF, 0x00BBGGRR
// (red in the low byte). People write and read it as #rrggbb; a plain
// number (decimal, or hexadecimal after "0x") is stored as it is.
ULONG ParseColor(const std::string& text) {
    const bool web = text.size() == 7 && text[0] == '#';
    const bool hex = web || (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'));
    const std::string digits = text.substr(web ? 1 : hex ? 2 : 0);
    bool ok = !digits.empty() && digits.size() <= (hex ? 8u : 10u);
    for (char c : digits)
        ok = ok && (hex ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c)));
    const unsigned long long value = ok ? std::stoull(digits, nullptr, hex ? 16 : 10) : 0;
    if (!ok || value > 0xFFFFFFFFull)
        throw ClientError("--color: expected #rrggbb, or a number up to 4294967295 or 0xFFFFFFFF, got \"" + text + "\"",
                          2);
    if (!web) return static_cast<ULONG>(value);
    const ULONG rgb = static_cast<ULONG>(value);
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

// A category as people see it: its colour as #rrggbb (after a swatch of
// it on a colour terminal), or as the stored number when that is no
// COLORREF (a high byte set).
Json Shown(Json category, const Output& out) {
    const ULONG c = category["color"].get<ULONG>();
    if ((c >> 24) != 0) return category;
    const std::string rgb = fmt::format("#{:02x}{:02x}{:02x}", c & 0xFF, (c >> 8) & 0xFF, c >> 16);
    const std::string swatch = out.swatch(rgb);
    category["color"] = swatch.empty() ? rgb : swatch + " " + rgb;
    return category;
}

// --name, --color and the category's other fields.
struct CategoryOptions {
    void add(CLI::App& command, bool withName) {
        fields.add(command, std::type_identity<tagEventCategoryInfo>{}, kOwnOptions);
        if (withName) command.add_option("--name", name, "The category's name");
        command.add_option("--color", color, "Colour as #rrggbb (or the stored 32-bit number, decimal or 0x hex)");
    }
    size_t given() const { return fields.given() + (name.empty() ? 0 : 1) + (color.empty() ? 0 : 1); }
    void apply(tagEventCategoryInfo* info) const {
        fields.apply(info);
        if (!name.empty())
            SetField(*FindField(RecordDescriptionOf<tagEventCategoryInfo>(), "event_category_name"), info, name);
        if (!color.empty()) info->ulColor = ParseColor(color);
    }

    RecordOptions fields;
    std::string name;
    std::string color;
};

// The profile's category with ID or name `text`, as a record to change;
// returns its ID.
std::string ReadCategory(IEventCategoryAccess* categories, const std::string& text,
                         OwnedRecord<tagEventCategoryInfo>* info) {
    const Json all = AllCategories(categories);
    const Json& found = NamedCategory(all, text);
    for (const auto& f : FieldsOf(RecordDescriptionOf<tagEventCategoryInfo>())) SetFieldFromJson(f, info, found[f.key]);
    return found["event_category_id"];
}

void Modify(IEventCategoryAccess* categories, const std::string& id, tagEventCategoryInfo* info) {
    LONG err = 0;
    Check(categories->ModifyEventCategoryByID(&err, Bstr::FromUtf8(id), info), err, "cannot change category " + id);
}

std::vector<std::string> CategoryFields() { return ListOptions::KeysOf(RecordDescriptionOf<tagEventCategoryInfo>()); }
const std::vector<std::string>& CategoryColumns() { return kCategoryColumns; }

Json CategoryRows(CommandContext& ctx) {
    Json all = Json::array();
    for (const auto& c : AllCategories(ctx.session().access<IEventCategoryAccess>().get()))
        all.push_back(Shown(c, ctx.out()));
    return all;
}

Json FindCategory(CommandContext& ctx, const std::string& text) {
    const Json all = AllCategories(ctx.session().access<IEventCategoryAccess>().get());
    return NamedCategory(all, text);
}

Json ShowCategory(CommandContext& ctx, const Json& found) { return Shown(found, ctx.out()); }

void RemoveCategory(CommandContext& ctx, Transaction& transaction, const std::string& id, bool withEvents) {
    Session& session = ctx.session();
    const Bstr key = Bstr::FromUtf8(id);
    LONG err = 0;
    if (withEvents)
        Check(session.access<IEventAccess>()->DeleteEventsByEventCategoryID(&err, key), err,
              "cannot delete the events of category " + id);
    else
        // No event keeps pointing at a category that is gone; each one
        // moved counts as changed.
        transaction.run(SqlText(u"UPDATE [tEvent] SET [EventCategoryID] = '', [Modified] = '")
                            .AppendNow()
                            .Append(u"' WHERE [EventCategoryID] = '")
                            .AppendQuoted(Utf8ToUtf16(id))
                            .Append(u"';"),
                        "cannot move the events of category " + id + " to no category");
    Check(session.access<IEventCategoryAccess>()->DeleteEventCategoryByID(&err, key), err,
          "cannot delete category " + id);
}

void RemoveCategoryOnly(CommandContext& ctx, Transaction& transaction, const std::string& id) {
    RemoveCategory(ctx, transaction, id, false);
}

constexpr RecordFamily kCategories{
    "category",
    "event_category_id",
    "event_category_ids",
    "category",
    "Category ID or name",
    "categories",
    "Category IDs or names",
    true,
    CategoryFields,
    CategoryColumns,
    CategoryRows,
    FindCategory,
    ShowCategory,
    nullptr,
    nullptr,
    RemoveCategoryOnly,
};

struct AddOptions {
    std::string name;
    CategoryOptions options;
};

void DeclareAdd(CLI::App& add, AddOptions& o) {
    add.add_option("name", o.name, "The category's name")->required();
    o.options.add(add, false);
}

void RunAdd(CommandContext& ctx, const AddOptions& o) {
    AddRecord<tagEventCategoryInfo>(
        ctx, {
                 kCategories,
                 [&](tagEventCategoryInfo* info) {
                     o.options.apply(info);
                     SetField(*FindField(RecordDescriptionOf<tagEventCategoryInfo>(), "event_category_name"), info,
                              o.name);
                 },
                 [&](tagEventCategoryInfo* info) {
                     auto categories = ctx.session().access<IEventCategoryAccess>();
                     RefuseTakenName(AllCategories(categories.get()), kCategoryRows, o.name);
                     LONG err = 0;
                     Bstr id;
                     Check(categories->AddEventCategory(&err, info, &id), err, "cannot add the category");
                     return id.utf8();
                 },
                 [&](const tagEventCategoryInfo&) { return o.name; },
                 nullptr,
             });
}

struct EditOptions {
    std::string category;
    CategoryOptions options;
};

void DeclareEdit(CLI::App& edit, EditOptions& o) {
    edit.add_option("category", o.category, "Category ID or name")->required();
    o.options.add(edit, true);
}

void RunEdit(CommandContext& ctx, const EditOptions& o) {
    ComPtr<IEventCategoryAccess> categories;
    EditRecord<tagEventCategoryInfo>({
        "categories edit",
        "category",
        o.options.given() > 0,
        [&] {
            OwnedRecord<tagEventCategoryInfo> probe;
            o.options.apply(&probe);
        },
        [&](OwnedRecord<tagEventCategoryInfo>* info) {
            categories = ctx.session().access<IEventCategoryAccess>();
            return ReadCategory(categories.get(), o.category, info);
        },
        [&](const std::string& key) {
            return o.options.fields.value(key) || (key == "event_category_name" && !o.options.name.empty());
        },
        [&](tagEventCategoryInfo* info) { o.options.apply(info); },
        [&](const std::string& id, tagEventCategoryInfo* info) {
            if (!o.options.name.empty())
                RefuseTakenName(AllCategories(categories.get()), kCategoryRows, o.options.name, id);
            Modify(categories.get(), id, info);
        },
        [&](const std::string& id, const tagEventCategoryInfo&) {
            ctx.out().done("changed category " + id, Json{{"event_category_id", id}});
        },
    });
}

struct SelectionOptions {
    std::string category;
};

void DeclareSelection(CLI::App& command, SelectionOptions& o) {
    command.add_option("category", o.category, "Category ID or name")->required();
}

void Select(CommandContext& ctx, const std::string& text, bool select) {
    auto categories = ctx.session().access<IEventCategoryAccess>();
    OwnedRecord<tagEventCategoryInfo> info;
    const std::string id = ReadCategory(categories.get(), text, &info);
    RefuseCutTexts(
        RecordDescriptionOf<tagEventCategoryInfo>(), &info, [](const std::string&) { return false; }, "category " + id);
    info.bIsSelected = select ? 1 : 0;
    Modify(categories.get(), id, &info);
    ctx.out().done(std::string(select ? "selected" : "deselected") + " category " + id,
                   Json{{"event_category_id", id}, {"is_selected", select}});
}
void RunSelect(CommandContext& ctx, const SelectionOptions& o) { Select(ctx, o.category, true); }
void RunDeselect(CommandContext& ctx, const SelectionOptions& o) { Select(ctx, o.category, false); }

struct RmOptions {
    RmCommand targets;
    bool withEvents = false;
};

void DeclareRm(CLI::App& rm, RmOptions& o) {
    DeclareRmArguments(rm, o.targets, kCategories);
    rm.add_flag("--with-events", o.withEvents, "Delete the categories' events too");
}

void RunRm(CommandContext& ctx, const RmOptions& o) {
    RemoveRecords(
        ctx, kCategories, o.targets.ids,
        [&](Transaction& transaction, const std::string& id) { RemoveCategory(ctx, transaction, id, o.withEvents); },
        o.withEvents ? " and their events" : "");
}

constexpr CommandRow kCategoryCommands[] = {
    ListRow<kCategories>("List the categories"),
    ShowRow<kCategories>("Show a category"),
    Row<AddOptions, DeclareAdd, RunAdd>("add", "Add a category", Access::Writes),
    Row<EditOptions, DeclareEdit, RunEdit>("edit", "Change a category (the fields not named keep their values)",
                                           Access::Writes),
    Row<SelectionOptions, DeclareSelection, RunSelect>(
        "select", "Select a category (its events show in events list --selected)", Access::Writes),
    Row<SelectionOptions, DeclareSelection, RunDeselect>("deselect", "Deselect a category", Access::Writes),
    Row<RmOptions, DeclareRm, RunRm>(
        "rm", "Delete categories; their events stay, with no category (or go too with --with-events); all or none",
        Access::Writes),
};

}  // namespace category_commands

void AddCategoryCommands(CLI::App& app, CommandContext& ctx) {
    AddGroup(app, ctx,
             {"categories", "Your own event categories: colours and the selection", nullptr,
              category_commands::kCategoryCommands});
}

}  // namespace calyra::cli
