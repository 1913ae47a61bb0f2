#include "commands/edit_in_editor.h"

#include "import_export/contact_cards.h"
#include "import_export/import_report.h"
#include "interchange/vcard_reader.h"
#include "interchange/vcard_writer.h"
#include "shell/client_error.h"
#include "shell/external_editor.h"
#include "shell/transaction.h"

namespace calyra::cli {

void EditContactInEditor(CommandContext& ctx, const std::string& id) {
    Session& session = ctx.session();
    const std::string before = interchange::WriteVCard(ExportContact(session, id), interchange::VCardVersion::V4);
    EditedText edited = EditInEditor(before, "contact-" + id, ".vcf");
    if (!edited.changed()) {
        ctx.out().done("contact " + id + " unchanged", Json{{"contact_id", id}, {"changed", false}});
        return;
    }
    auto refuse = [&](const std::string& why) -> ClientError {
        return ClientError("contact " + id + " not changed: " + why + "; your text is kept in " +
                           edited.keep().string());
    };
    interchange::VCardParseResult parsed = interchange::ParseVCardText(edited.text());
    if (parsed.cards.size() != 1)
        throw refuse("the file holds " + std::to_string(parsed.cards.size()) + " cards instead of one");
    ImportReport report("contact");
    report.addParse("the edited card", parsed.report);
    bool changed = false;
    try {
        Transaction transaction(session);
        ContactImporter importer(session, report);
        changed = importer.replace(parsed.cards.front(), id, "the edited card");
        transaction.commit();
    } catch (const ClientError& e) {
        throw refuse(e.what());
    }
    // The reader's and the importer's findings (a title the record has no
    // place for, a cut text) are said; the file is then of no more use.
    std::string message = changed ? "changed contact " + id : "contact " + id + " unchanged";
    const std::string findings = report.text();
    if (const size_t lines = findings.find('\n'); lines != std::string::npos) message += findings.substr(lines);
    ctx.out().done(message, Json{{"contact_id", id}, {"changed", changed}, {"report", report.json()}});
}

}  // namespace calyra::cli
