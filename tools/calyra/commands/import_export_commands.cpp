// contacts import|export (vCard), events import|export and tasks
// import|export (iCalendar). The groups come from the other command
// families; the command tree adds these two commands to each.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>

#include "calendar/days.h"
#include "cli/command_context.h"
#include "cli/command_row.h"
#include "commands/command_tree.h"
#include "import_export/calendar_items.h"
#include "import_export/contact_cards.h"
#include "import_export/conversions.h"
#include "import_export/import_progress.h"
#include "import_export/import_report.h"
#include "import_export/input_file.h"
#include "interchange/ical_reader.h"
#include "interchange/ical_writer.h"
#include "interchange/vcard_batches.h"
#include "interchange/vcard_reader.h"
#include "interchange/vcard_writer.h"
#include "session/client_error.h"
#include "session/interruption.h"
#include "session/transaction.h"
#include "session/user_time.h"

namespace calyra::cli {

using namespace calendar;
namespace import_export_commands {

namespace ix = calyra::interchange;

// "a.vcf, b.vcf" for messages; "-" is standard input.
std::string Listed(const std::vector<std::string>& files) {
    std::string out;
    for (const auto& f : files) out += (out.empty() ? "" : ", ") + (f == "-" ? std::string("standard input") : f);
    return out;
}

// About how many cards a file holds, for the progress bar and to tell a
// file without any. Read a piece at a time, each after the last bytes of
// the one before, so a BEGIN:VCARD across two pieces counts once.
size_t CardsIn(InputFile& input) {
    constexpr std::string_view kBegin = "BEGIN:VCARD";
    const auto next = input.pieces();
    std::string text;
    size_t n = 0;
    while (next(text)) {
        n += EntriesIn(text, kBegin);
        text.erase(0, text.size() - std::min(text.size(), kBegin.size() - 1));
    }
    return n;
}

constexpr size_t kCardsPerBatch = 1000;

// About how many events or tasks a file holds, for the progress bar only.
size_t EntriesIn(std::string_view bytes, bool events) {
    const std::string_view begin = events ? "BEGIN:VEVENT" : "BEGIN:VTODO";
    size_t n = 0;
    for (size_t at = 0; (at = bytes.find(begin, at)) != std::string_view::npos; at += begin.size()) ++n;
    return n;
}

constexpr size_t kEntriesPerBatch = 1000;

// --dry-run on an import command; the flag's value lives as long as the
// command tree.
void AddDryRun(CLI::App& import, bool& dryRun) {
    import.add_flag("--dry-run", dryRun,
                    "Read and match everything as the import would, report it, and store nothing (the work is done "
                    "on a private copy: the file keeps its bytes and its modification time)");
}

// The report, headed in a dry run by what did not happen.
void ShowReport(CommandContext& ctx, const ImportReport& report, bool dryRun) {
    Json value = report.json();
    if (dryRun) value["dry_run"] = true;
    ctx.out().done(dryRun ? "dry run: nothing was stored\n" + report.text() : report.text(), value);
}

// Throws ClientError naming `where` and the system's reason when `stream`
// failed (a full disk, a closed pipe, a read-only file).
void CheckWritten(std::ostream& stream, const std::string& where) {
    if (stream) return;
    throw ClientError("cannot write " + where + ": " + (errno ? std::strerror(errno) : "the write failed"));
}

// The export's text, as `write` writes it (returning how many items it
// wrote), to standard output ("" or "-"), or to `path`: a regular file
// through a temporary file renamed into place, so an existing file is
// replaced whole or not at all; a device or pipe directly. The text goes
// out as it is made: memory follows what `write` holds, not the export.
void WriteOutput(CommandContext& ctx, const std::string& path, const std::function<size_t(std::ostream&)>& write,
                 const std::string& what) {
    errno = 0;
    if (path.empty() || path == "-") {
        write(ctx.out().stream());
        ctx.out().stream().flush();
        return CheckWritten(ctx.out().stream(), "the standard output");
    }
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    size_t count = 0;
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        if (std::filesystem::is_directory(status)) throw ClientError("cannot write " + path + ": it is a directory");
        std::ofstream device(path, std::ios::binary);
        count = write(device);
        device.flush();
        CheckWritten(device, path);
    } else {
        const std::string temporary = path + ".calyra-tmp";
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file) throw ClientError("cannot write " + path + ": " + std::strerror(errno));
        try {
            count = write(file);
        } catch (...) {
            file.close();
            std::remove(temporary.c_str());
            throw;
        }
        file.close();
        if (!file) {
            const int reason = errno;
            std::remove(temporary.c_str());
            throw ClientError("cannot write " + path + ": " + (reason ? std::strerror(reason) : "the write failed"));
        }
        std::filesystem::rename(temporary, path, ec);
        if (ec) {
            std::remove(temporary.c_str());
            throw ClientError("cannot write " + path + ": " + ec.message());
        }
    }
    ctx.out().done("exported " + std::to_string(count) + " " + what + " to " + path,
                   Json{{"exported", count}, {"file", path}});
}

void WriteOutput(CommandContext& ctx, const std::string& path, const std::string& text, const std::string& what,
                 size_t count) {
    WriteOutput(
        ctx, path,
        [&](std::ostream& out) {
            out << text;
            return count;
        },
        what);
}

// events import and tasks import read the same files; each takes its kind.
struct CalendarImportOptions {
    bool events = true;
    std::vector<std::string> files;
    std::string zone;
    bool dryRun = false;
};

void DeclareCalendarImport(CLI::App& import, CalendarImportOptions& o) {
    import.add_option("files", o.files, "iCalendar files (.ics); - reads standard input")->required();
    import.add_option("--zone", o.zone,
                      "Time zone of local times that name none, such as Europe/Berlin (default: the calendar's "
                      "X-WR-TIMEZONE, else UTC)");
    AddDryRun(import, o.dryRun);
}

// "no events found in a.ics", with what the files hold instead when that
// is another kind ("it holds 3 tasks (import them with ...)").
ClientError NothingFound(const std::string& what, std::vector<InputFile>& inputs,
                         const std::vector<std::string>& files) {
    std::string all;
    for (auto& input : inputs) all += input.whole() + "\n";
    const std::string held = WhatTheFileHolds(all);
    return ClientError("no " + what + " found in " + Listed(files) +
                       (held.empty() ? std::string() : (inputs.size() == 1 ? ": it holds " : ": they hold ") + held));
}

// The commands' side of a dry run: a private copy of the file to work on,
// and never a new file.
void PrepareDryRun(CommandContext& ctx, bool dryRun) {
    if (!dryRun) return;
    ctx.options.readOnly = true;
    ctx.options.scratchCopy = true;
}

void RunCalendarImport(CommandContext& ctx, const CalendarImportOptions& o) {
    const std::string what = o.events ? "events" : "tasks";
    if (!o.zone.empty() && !ix::KnownTimeZone(o.zone))
        throw ClientError("--zone: unknown time zone \"" + o.zone + "\"", 2);
    PrepareDryRun(ctx, o.dryRun);
    InterruptionScope interruption("interrupted; nothing was imported");
    auto inputs = OpenInputs(o.files);
    // An iCalendar file is read whole: its entries sit inside one VCALENDAR
    // with the zones they name.
    std::vector<std::string> texts;
    for (auto& input : inputs) texts.push_back(input.whole());
    ImportReport report(what);
    size_t total = 0;
    for (const auto& text : texts) total += EntriesIn(text, o.events);
    // Nothing of the kind: the file is not even opened.
    if (total == 0) throw NothingFound(what, inputs, o.files);
    {
        // One transaction, the entries read a batch at a time: memory holds
        // a batch, not the file.
        Transaction::DryRun dry(o.dryRun);
        Transaction transaction(ctx.session());
        CalendarImport import(ctx.session(), report, o.events ? ix::ItemKind::Event : ix::ItemKind::Todo);
        ImportProgress progress(what, total);
        for (size_t i = 0; i < inputs.size(); ++i) {
            const std::string& path = inputs[i].path();  // a name the lambda can capture
            ix::ReadICalendarBatches(texts[i], kEntriesPerBatch,
                                     [&](ix::ICalParseResult& batch, size_t) {
                                         // Each entry is kept whole beside its record: what its
                                         // fields have no place for is not lost.
                                         batch.report.unmapped.clear();
                                         report.addParse(path, batch.report);
                                         progress.step(import.add(std::move(batch.items), path));
                                     },
                                     {o.zone});
        }
        progress.step(import.finish());
        // An import that stored nothing leaves the file as it was.
        if (!report.failedWhole()) transaction.commit();
    }
    ShowReport(ctx, report, o.dryRun);
    if (report.failedWhole()) throw ClientError("no " + what + " imported: every entry failed");
    if (report.foundNothing()) throw NothingFound(what, inputs, o.files);
    // A rule neither the records nor the exact layout can keep refuses its
    // entry (named above); the import says so by its exit status.
    if (const Json counts = report.json(); counts.contains("refused_rules"))
        throw ClientError(std::to_string(counts["refused_rules"].get<size_t>()) +
                          " entries refused: their repetition could not be kept");
}

void AddCalendarImport(CLI::App& group, CommandContext& ctx, const std::string& what, bool events) {
    AddCommand<CalendarImportOptions>(group, ctx, "import",
                                      "Import " + what +
                                          " from iCalendar files, all or nothing; entries already stored (same "
                                          "subject and " +
                                          (events ? std::string("start") : std::string("start and due dates")) +
                                          ") are left or updated, not added again",
                                      Access::Writes, DeclareCalendarImport, RunCalendarImport,
                                      CalendarImportOptions{events, {}, {}, false});
}

ix::UtcSeconds Now() { return static_cast<ix::UtcSeconds>(std::time(nullptr)); }

struct ContactImportOptions {
    std::vector<std::string> files;
    bool dryRun = false;
};

void DeclareContactImport(CLI::App& import, ContactImportOptions& o) {
    import.add_option("files", o.files, "vCard files (.vcf); - reads standard input")->required();
    AddDryRun(import, o.dryRun);
}

void RunContactImport(CommandContext& ctx, const ContactImportOptions& o) {
    PrepareDryRun(ctx, o.dryRun);
    InterruptionScope interruption("interrupted; nothing was imported");
    auto inputs = OpenInputs(o.files);
    ImportReport report("contacts");
    size_t total = 0;
    for (auto& input : inputs) total += CardsIn(input);
    // Not one card: the file is not even opened.
    if (total == 0) throw NothingFound("contacts", inputs, o.files);
    {
        // One transaction: a killed or failed import leaves the file as
        // it was, and the cards go in at the engine's bulk speed. The
        // files are read a piece and the cards a batch at a time, so a file
        // of a million cards is never all in memory at once.
        Transaction::DryRun dry(o.dryRun);
        Transaction transaction(ctx.session());
        ContactImporter importer(ctx.session(), report);
        ImportProgress progress("contacts", total);
        for (auto& input : inputs) {
            const std::string& path = input.path();  // a name the lambda can capture
            ix::ReadVCardBatches(input.pieces(), kCardsPerBatch, [&](ix::VCardParseResult& batch, size_t) {
                report.addParse(path, batch.report);
                progress.step(importer.add(std::move(batch.cards), path));
            });
        }
        progress.step(importer.finish());
        transaction.commit();
    }
    ShowReport(ctx, report, o.dryRun);
    if (report.failedWhole()) throw ClientError("no contact imported: every entry was skipped");
    if (report.foundNothing()) throw NothingFound("contacts", inputs, o.files);
}

struct ContactExportOptions {
    std::string out;
    std::string version = "3.0";
};

void DeclareContactExport(CLI::App& exportCommand, ContactExportOptions& o) {
    exportCommand.add_option("--out", o.out, "File to write (default or -: standard output)");
    exportCommand.add_option("--version", o.version, "vCard version")->check(CLI::IsMember({"3.0", "4.0"}));
}

void RunContactExport(CommandContext& ctx, const ContactExportOptions& o) {
    const auto v = o.version == "4.0" ? ix::VCardVersion::V4 : ix::VCardVersion::V3;
    // Cards are written as they are read, a chunk of contacts at a time.
    WriteOutput(
        ctx, o.out,
        [&](std::ostream& out) {
            size_t count = 0;
            ExportContacts(ctx.session(), [&](ix::ContactCard& card) {
                out << ix::WriteVCard(card, v);
                ++count;
            });
            // The groups after their members: an import reads them at its end anyway.
            ExportGroups(ctx.session(), [&](ix::ContactCard& card) { out << ix::WriteVCard(card, v); });
            return count;
        },
        "contacts");
}

constexpr CommandRow kContactImportExport[] = {
    Row<ContactImportOptions, DeclareContactImport, RunContactImport>(
        "import", "Import contacts from vCard files (2.1, 3.0, 4.0)", Access::Writes),
    Row<ContactExportOptions, DeclareContactExport, RunContactExport>(
        "export", "Export the profile's contacts as vCard", Access::Reads),
};

struct EventExportOptions {
    std::string out;
    std::string from;
    std::string to;
};

void DeclareEventExport(CLI::App& exportCommand, EventExportOptions& o) {
    exportCommand.add_option("--out", o.out, "File to write (default or -: standard output)");
    exportCommand.add_option("--from", o.from,
                             "Only events that end at or after this time, in your time zone, e.g. 2027-01-01");
    exportCommand.add_option("--to", o.to, "Only events that start at or before this time (a bare day: its end)");
}

void RunEventExport(CommandContext& ctx, const EventExportOptions& o) {
    // Typed as wall time, like every other date; the stored times are UTC.
    const UserTime user(ctx.settings);
    const auto range = user.readRange(o.from, o.to);
    std::optional<DATE> low, high;
    if (range.from) low = user.zone().toUtc(*range.from);
    if (range.to) high = user.zone().toUtc(*range.to);
    WriteOutput(
        ctx, o.out,
        [&](std::ostream& out) {
            ix::ICalendarWriter writer(Now());
            const size_t count = VisitEvents(ctx.session(), low, high, [&](const auto& item) { writer.add(item); });
            writer.finish(out);
            return count;
        },
        "events");
}

struct TaskExportOptions {
    std::string out;
};

void DeclareTaskExport(CLI::App& exportCommand, TaskExportOptions& o) {
    exportCommand.add_option("--out", o.out, "File to write (default or -: standard output)");
}

void RunTaskExport(CommandContext& ctx, const TaskExportOptions& o) {
    WriteOutput(
        ctx, o.out,
        [&](std::ostream& out) {
            ix::ICalendarWriter writer(Now());
            const size_t count = VisitTasks(ctx.session(), [&](const auto& item) { writer.add(item); });
            writer.finish(out);
            return count;
        },
        "tasks");
}

constexpr CommandRow kEventExport[] = {
    Row<EventExportOptions, DeclareEventExport, RunEventExport>("export", "Export the profile's events as iCalendar",
                                                                Access::Reads),
};
constexpr CommandRow kTaskExport[] = {
    Row<TaskExportOptions, DeclareTaskExport, RunTaskExport>("export", "Export the profile's tasks as iCalendar",
                                                             Access::Reads),
};

}  // namespace import_export_commands

void AddContactImportExport(CLI::App& group, CommandContext& ctx) {
    AddRows(group, ctx, import_export_commands::kContactImportExport);
}

void AddEventImportExport(CLI::App& group, CommandContext& ctx) {
    import_export_commands::AddCalendarImport(group, ctx, "events", true);
    AddRows(group, ctx, import_export_commands::kEventExport);
}

void AddTaskImportExport(CLI::App& group, CommandContext& ctx) {
    import_export_commands::AddCalendarImport(group, ctx, "tasks", false);
    AddRows(group, ctx, import_export_commands::kTaskExport);
}

}  // namespace calyra::cli
