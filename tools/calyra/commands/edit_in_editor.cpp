#include "commands/edit_in_editor.h"

#include "cli/external_editor.h"
#include "import_export/calendar_items.h"
#include "import_export/contact_cards.h"
#include "import_export/import_report.h"
#include "interchange/ical_reader.h"
#include "interchange/ical_writer.h"
#include "interchange/vcard_reader.h"
#include "interchange/vcard_writer.h"
#include "session/client_error.h"
#include "session/transaction.h"

namespace calyra::cli {
namespace {

namespace ix = interchange;

// What one kind of record needs to travel through the editor.
struct Editing {
    const char* what;    // "contact"
    const char* form;    // "a vCard", for the help
    const char* suffix;  // ".vcf"
    std::string (*text)(CommandContext& ctx, const std::string& id);
    // Stores the edited text; returns whether anything changed. Throws
    // ClientError saying why it cannot.
    bool (*store)(CommandContext& ctx, const std::string& id, const std::string& text, ImportReport& report);
};

ix::UtcSeconds Now() { return static_cast<ix::UtcSeconds>(std::time(nullptr)); }

// The one entry of an edited file, which must hold exactly one.
template <typename Entry>
const Entry& OnlyEntry(const std::vector<Entry>& entries, const char* kind) {
    if (entries.size() != 1)
        throw ClientError("the file holds " + std::to_string(entries.size()) + " " + kind + "s instead of one");
    return entries.front();
}

ix::ICalParseResult ParseEdited(CommandContext& ctx, const std::string& text, ImportReport& report, const char* what) {
    // A time typed without a zone is the person's own wall time.
    ix::ICalParseResult parsed = ix::ParseICalendar(text, {ctx.settings.get("time_zone").value});
    report.addParse(std::string("the edited ") + what, parsed.report);
    return parsed;
}

constexpr Editing kEditing[] = {
    {"contact", "a vCard", ".vcf",
     [](CommandContext& ctx, const std::string& id) {
         return ix::WriteVCard(ExportContact(ctx.session(), id), ix::VCardVersion::V4);
     },
     [](CommandContext& ctx, const std::string& id, const std::string& text, ImportReport& report) {
         ix::VCardParseResult parsed = ix::ParseVCardText(text);
         report.addParse("the edited card", parsed.report);
         ContactImporter importer(ctx.session(), report);
         return importer.replace(OnlyEntry(parsed.cards, "card"), id, "the edited card");
     }},
    {"event", "iCalendar", ".ics",
     [](CommandContext& ctx, const std::string& id) {
         return ix::WriteICalendar({ExportEvent(ctx.session(), id)}, Now());
     },
     [](CommandContext& ctx, const std::string& id, const std::string& text, ImportReport& report) {
         const auto parsed = ParseEdited(ctx, text, report, "event");
         return ReplaceEvent(ctx.session(), id, OnlyEntry(parsed.items, "entrie"), report);
     }},
    {"task", "iCalendar", ".ics",
     [](CommandContext& ctx, const std::string& id) {
         return ix::WriteICalendar({ExportTask(ctx.session(), id)}, Now());
     },
     [](CommandContext& ctx, const std::string& id, const std::string& text, ImportReport& report) {
         const auto parsed = ParseEdited(ctx, text, report, "task");
         return ReplaceTask(ctx.session(), id, OnlyEntry(parsed.items, "entrie"), report);
     }},
};

const Editing& EditingOf(EditorKind kind) { return kEditing[static_cast<int>(kind)]; }

}  // namespace

void AddEditorFlag(CLI::App& edit, EditorKind kind, bool& asked) {
    const Editing& e = EditingOf(kind);
    edit.add_flag(
        "--editor", asked,
        std::string("Open the ") + e.what + " as " + e.form + " in $VISUAL or $EDITOR and store what you change");
}

bool EditIfAsked(CommandContext& ctx, const std::string& id, bool asked, bool otherOptions, EditorKind kind) {
    if (!asked) return false;
    const Editing& e = EditingOf(kind);
    const std::string name = std::string(e.what) + " " + id;
    if (otherOptions)
        throw ClientError(std::string("--editor changes the whole ") + e.what + "; leave out the other options", 2);
    EditedText edited = EditInEditor(e.text(ctx, id), std::string(e.what) + "-" + id, e.suffix);
    const Json key{{std::string(e.what) + "_id", id}};
    if (!edited.changed()) {
        Json result = key;
        result["changed"] = false;
        ctx.out().done(name + " unchanged", result);
        return true;
    }
    ImportReport report(std::string(e.what) + "s");
    bool changed = false;
    try {
        Transaction transaction(ctx.session());
        changed = e.store(ctx, id, edited.text(), report);
        transaction.commit();
    } catch (const ClientError& error) {
        throw ClientError(name + " not changed: " + error.what() + "; your text is kept in " + edited.keep().string());
    }
    // The reader's and the importer's findings (a value the record has no
    // place for, a cut text) are said; the file is then of no more use.
    std::string message = changed ? "changed " + name : name + " unchanged";
    const std::string findings = report.text();
    if (const size_t lines = findings.find('\n'); lines != std::string::npos) message += findings.substr(lines);
    Json result = key;
    result["changed"] = changed;
    result["report"] = report.json();
    ctx.out().done(message, result);
    return true;
}

}  // namespace calyra::cli
