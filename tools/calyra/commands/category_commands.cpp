// categories list|show|add|edit|select|deselect|rm: the user's own event
// categories, whose "selected" flag decides what `events list --selected`
// shows. Every command that takes a category takes its ID or its name.
//
// The commands' options live in shared values their actions hold.
// Thread-safety: one thread, like the command line.
#include <algorithm>
#include <cctype>

#include <fmt/format.h>

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
namespace {

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
    CategoryOptions(CLI::App* command, bool withName)
        : fields(command, std::type_identity<tagEventCategoryInfo>{}, kOwnOptions) {
        if (withName) command->add_option("--name", *name, "The category's name");
        command->add_option("--color", *color, "Colour as #rrggbb (or the stored 32-bit number, decimal or 0x hex)");
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

void AddSelection(CLI::App* group, CommandContext& ctx, const char* name, bool select) {
    auto* cmd = group->add_subcommand(
        name, select ? "Select a category (its events show in events list --selected)" : "Deselect a category");
    auto text = std::make_shared<std::string>();
    cmd->add_option("category", *text, "Category ID or name")->required();
    ctx.bind(cmd, Access::Writes, [&ctx, text, select] {
        auto categories = ctx.session().access<IEventCategoryAccess>();
        OwnedRecord<tagEventCategoryInfo> info;
        const std::string id = ReadCategory(categories.get(), *text, &info);
        RefuseCutTexts(
            RecordDescriptionOf<tagEventCategoryInfo>(), &info, [](const std::string&) { return false; },
            "category " + id);
        info.bIsSelected = select ? 1 : 0;
        Modify(categories.get(), id, &info);
        ctx.out().done(std::string(select ? "selected" : "deselected") + " category " + id,
                       Json{{"event_category_id", id}, {"is_selected", select}});
    });
}

}  // namespace

void AddCategoryCommands(CLI::App& app, CommandContext& ctx) {
    auto* group = app.add_subcommand("categories", "Your own event categories: colours and the selection");
    group->require_subcommand(1);

    auto* list = group->add_subcommand("list", "List the categories");
    auto listShape = std::make_shared<ListOptions>(
        list, ListOptions::KeysOf(RecordDescriptionOf<tagEventCategoryInfo>()), kCategoryColumns);
    ctx.bind(list, Access::Reads, [&ctx, listShape] {
        Json all = Json::array();
        for (const auto& c : AllCategories(ctx.session().access<IEventCategoryAccess>().get()))
            all.push_back(Shown(c, ctx.out()));
        listShape->show(ctx.out(), std::move(all));
    });

    auto* show = group->add_subcommand("show", "Show a category");
    auto showText = std::make_shared<std::string>();
    show->add_option("category", *showText, "Category ID or name")->required();
    ctx.bind(show, Access::Reads, [&ctx, showText] {
        const Json all = AllCategories(ctx.session().access<IEventCategoryAccess>().get());
        ctx.out().object(Shown(NamedCategory(all, *showText), ctx.out()));
    });

    auto* add = group->add_subcommand("add", "Add a category");
    auto name = std::make_shared<std::string>();
    add->add_option("name", *name, "The category's name")->required();
    auto addOptions = std::make_shared<CategoryOptions>(add, false);
    ctx.bind(add, Access::Writes, [&ctx, name, addOptions] {
        OwnedRecord<tagEventCategoryInfo> info;
        addOptions->apply(&info);
        SetField(*FindField(RecordDescriptionOf<tagEventCategoryInfo>(), "event_category_name"), &info, *name);
        auto categories = ctx.session().access<IEventCategoryAccess>();
        RefuseTakenName(AllCategories(categories.get()), kCategoryRows, *name);
        LONG err = 0;
        Bstr id;
        Check(categories->AddEventCategory(&err, &info, &id), err, "cannot add the category");
        ctx.out().done("added category " + id.utf8() + " (" + *name + ")", Json{{"event_category_id", id.utf8()}});
    });

    auto* edit = group->add_subcommand("edit", "Change a category (the fields not named keep their values)");
    auto editText = std::make_shared<std::string>();
    edit->add_option("category", *editText, "Category ID or name")->required();
    auto editOptions = std::make_shared<CategoryOptions>(edit, true);
    ctx.bind(edit, Access::Writes, [&ctx, editText, editOptions] {
        ComPtr<IEventCategoryAccess> categories;
        EditRecord<tagEventCategoryInfo>({
            "categories edit",
            "category",
            editOptions->given() > 0,
            [&] {
                OwnedRecord<tagEventCategoryInfo> probe;
                editOptions->apply(&probe);
            },
            [&](OwnedRecord<tagEventCategoryInfo>* info) {
                categories = ctx.session().access<IEventCategoryAccess>();
                return ReadCategory(categories.get(), *editText, info);
            },
            [&](const std::string& key) {
                return editOptions->fields.value(key) || (key == "event_category_name" && !editOptions->name->empty());
            },
            [&](tagEventCategoryInfo* info) { editOptions->apply(info); },
            [&](const std::string& id, tagEventCategoryInfo* info) {
                if (!editOptions->name->empty())
                    RefuseTakenName(AllCategories(categories.get()), kCategoryRows, *editOptions->name, id);
                Modify(categories.get(), id, info);
            },
            [&](const std::string& id, const tagEventCategoryInfo&) {
                ctx.out().done("changed category " + id, Json{{"event_category_id", id}});
            },
        });
    });

    AddSelection(group, ctx, "select", true);
    AddSelection(group, ctx, "deselect", false);

    auto* rm = group->add_subcommand(
        "rm", "Delete categories; their events stay, with no category (or go too with --with-events); all or none");
    auto rmTexts = std::make_shared<std::vector<std::string>>();
    auto withEvents = std::make_shared<bool>(false);
    rm->add_option("categories", *rmTexts, "Category IDs or names")->required();
    rm->add_flag("--with-events", *withEvents, "Delete the categories' events too");
    ctx.bind(rm, Access::Writes, [&ctx, rmTexts, withEvents] {
        Session& session = ctx.session();
        auto categories = session.access<IEventCategoryAccess>();
        std::vector<std::string> ids;
        for (const auto& text : *rmTexts) {
            OwnedRecord<tagEventCategoryInfo> info;
            const std::string id = ReadCategory(categories.get(), text, &info);
            if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
        }
        Transaction transaction(session);
        std::string names;
        for (const auto& id : ids) {
            const Bstr key = Bstr::FromUtf8(id);
            LONG err = 0;
            if (*withEvents)
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
            Check(categories->DeleteEventCategoryByID(&err, key), err, "cannot delete category " + id);
            names += (names.empty() ? "" : ", ") + id;
        }
        transaction.commit();
        ctx.out().done("deleted category " + names + (*withEvents ? " and their events" : ""),
                       Json{{"event_category_ids", ids}});
    });
}

}  // namespace calyra::cli
