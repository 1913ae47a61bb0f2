// categories list|add|edit|select|deselect|rm: the user's own event
// categories, whose "selected" flag decides what `events list --selected`
// shows.
//
// The commands' options live in shared values their actions hold.
// Thread-safety: one thread, like the command line.
#include <cctype>

#include "platform/bstr.h"
#include "records/event_records.h"
#include "records/text_limits.h"
#include "shell/client_error.h"
#include "shell/record_fields.h"
#include "shell/record_id.h"
#include "shell/transaction.h"

#include "commands/command_tree.h"
#include "shell/command_context.h"

namespace calyra::cli {
namespace {

const std::vector<std::string> kCategoryColumns{"event_category_id", "event_category_name", "color", "to_be_synced",
                                                "is_selected"};
const std::vector<std::string> kOwnOptions{"event_category_id", "event_category_name", "color", "modified"};

// The colour is an opaque 32-bit number: decimal, or hexadecimal after "0x".
ULONG ParseColor(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    bool ok = !digits.empty() && digits.size() <= (hex ? 8u : 10u);
    for (char c : digits)
        ok = ok && (hex ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c)));
    const unsigned long long value = ok ? std::stoull(digits, nullptr, hex ? 16 : 10) : 0;
    if (!ok || value > 0xFFFFFFFFull)
        throw ClientError("--color: expected a number up to 4294967295 or 0xFFFFFFFF, got \"" + text + "\"", 2);
    return static_cast<ULONG>(value);
}

// --name, --color and the category's other fields.
struct CategoryOptions {
    CategoryOptions(CLI::App* command, bool withName)
        : fields(command, std::type_identity<tagEventCategoryInfo>{}, kOwnOptions) {
        if (withName) command->add_option("--name", *name, "The category's name");
        command->add_option("--color", *color, "Colour, a 32-bit number (decimal or 0x hex)");
    }
    size_t given() const { return fields.given() + (name->empty() ? 0 : 1) + (color->empty() ? 0 : 1); }
    void apply(tagEventCategoryInfo* info) const {
        fields.apply(info);
        if (!name->empty())
            SetField(*FindField(RecordDescriptionOf<tagEventCategoryInfo>(), "event_category_name"), info, *name);
        if (!color->empty()) info->ulColor = ParseColor(*color);
    }

    RecordOptions fields;
    std::shared_ptr<std::string> name = std::make_shared<std::string>();
    std::shared_ptr<std::string> color = std::make_shared<std::string>();
};

// The stored category `id` of the profile, as a record to change.
void ReadCategory(IEventCategoryAccess* categories, const std::string& id, OwnedRecord<tagEventCategoryInfo>* info) {
    const Json all = AllCategories(categories);
    const Json* found = FindCategory(all, id);
    if (!found) throw ClientError("no category " + id);
    for (const auto& f : FieldsOf(RecordDescriptionOf<tagEventCategoryInfo>()))
        SetFieldFromJson(f, info, (*found)[f.key]);
}

void Modify(IEventCategoryAccess* categories, const std::string& id, tagEventCategoryInfo* info) {
    LONG err = 0;
    Check(categories->ModifyEventCategoryByID(&err, Bstr::FromUtf8(id), info), err, "cannot change category " + id);
}

void AddSelection(CLI::App* group, CommandContext& ctx, const char* name, bool select) {
    auto* cmd = group->add_subcommand(
        name, select ? "Select a category (its events show in events list --selected)" : "Deselect a category");
    auto id = std::make_shared<std::string>();
    cmd->add_option("id", *id, "Category ID")->required();
    ctx.bind(cmd, [&ctx, id, select] {
        CheckedId(*id, "event category");
        auto categories = ctx.session().access<IEventCategoryAccess>();
        OwnedRecord<tagEventCategoryInfo> info;
        ReadCategory(categories.get(), *id, &info);
        RefuseCutTexts(
            RecordDescriptionOf<tagEventCategoryInfo>(), &info, [](const std::string&) { return false; },
            "category " + *id);
        info.bIsSelected = select ? 1 : 0;
        Modify(categories.get(), *id, &info);
        ctx.out().done(std::string(select ? "selected" : "deselected") + " category " + *id,
                       Json{{"event_category_id", *id}, {"is_selected", select}});
    });
}

}  // namespace

void AddCategoryCommands(CLI::App& app, CommandContext& ctx) {
    auto* group = app.add_subcommand("categories", "Your own event categories: colours and the selection");
    group->require_subcommand(1);

    auto* list = group->add_subcommand("list", "List the categories");
    ctx.bind(list, [&ctx] {
        ctx.out().list(AllCategories(ctx.session().access<IEventCategoryAccess>().get()), kCategoryColumns);
    });

    auto* add = group->add_subcommand("add", "Add a category");
    auto name = std::make_shared<std::string>();
    add->add_option("name", *name, "The category's name")->required();
    auto addOptions = std::make_shared<CategoryOptions>(add, false);
    ctx.bind(add, [&ctx, name, addOptions] {
        OwnedRecord<tagEventCategoryInfo> info;
        addOptions->apply(&info);
        SetField(*FindField(RecordDescriptionOf<tagEventCategoryInfo>(), "event_category_name"), &info, *name);
        auto categories = ctx.session().access<IEventCategoryAccess>();
        LONG err = 0;
        Bstr id;
        Check(categories->AddEventCategory(&err, &info, &id), err, "cannot add the category");
        ctx.out().done("added category " + id.utf8() + " (" + *name + ")", Json{{"event_category_id", id.utf8()}});
    });

    auto* edit = group->add_subcommand("edit", "Change a category (the fields not named keep their values)");
    auto editId = std::make_shared<std::string>();
    edit->add_option("id", *editId, "Category ID")->required();
    auto editOptions = std::make_shared<CategoryOptions>(edit, true);
    ctx.bind(edit, [&ctx, editId, editOptions] {
        CheckedId(*editId, "event category");
        if (editOptions->given() == 0) throw ClientError("nothing to change (see categories edit --help)", 2);
        auto categories = ctx.session().access<IEventCategoryAccess>();
        OwnedRecord<tagEventCategoryInfo> info;
        ReadCategory(categories.get(), *editId, &info);
        RefuseCutTexts(
            RecordDescriptionOf<tagEventCategoryInfo>(), &info,
            [&](const std::string& key) {
                return editOptions->fields.value(key) || (key == "event_category_name" && !editOptions->name->empty());
            },
            "category " + *editId);
        editOptions->apply(&info);
        Modify(categories.get(), *editId, &info);
        ctx.out().done("changed category " + *editId, Json{{"event_category_id", *editId}});
    });

    AddSelection(group, ctx, "select", true);
    AddSelection(group, ctx, "deselect", false);

    auto* rm = group->add_subcommand(
        "rm", "Delete a category; its events stay, with no category (or go too with --with-events)");
    auto rmId = std::make_shared<std::string>();
    auto withEvents = std::make_shared<bool>(false);
    rm->add_option("id", *rmId, "Category ID")->required();
    rm->add_flag("--with-events", *withEvents, "Delete the category's events too");
    ctx.bind(rm, [&ctx, rmId, withEvents] {
        CheckedId(*rmId, "event category");
        Session& session = ctx.session();
        auto categories = session.access<IEventCategoryAccess>();
        OwnedRecord<tagEventCategoryInfo> info;
        ReadCategory(categories.get(), *rmId, &info);
        const Bstr key = Bstr::FromUtf8(*rmId);
        LONG err = 0;
        Transaction transaction(session);
        if (*withEvents)
            Check(session.access<IEventAccess>()->DeleteEventsByEventCategoryID(&err, key), err,
                  "cannot delete the events of category " + *rmId);
        else
            // No event keeps pointing at a category that is gone; each one
            // moved counts as changed.
            transaction.run(
                u"UPDATE [tEvent] SET [EventCategoryID] = '', [Modified] = datetime('now') WHERE "
                u"[EventCategoryID] = '" +
                    Utf8ToUtf16(*rmId) + u"';",
                "cannot move the events of category " + *rmId + " to no category");
        Check(categories->DeleteEventCategoryByID(&err, key), err, "cannot delete category " + *rmId);
        transaction.commit();
        ctx.out().done("deleted category " + *rmId + (*withEvents ? " and its events" : ""),
                       Json{{"event_category_id", *rmId}});
    });
}

}  // namespace calyra::cli
