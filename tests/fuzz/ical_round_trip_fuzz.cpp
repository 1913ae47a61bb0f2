// Calendar items read from any bytes and taken through the client's own
// mapping: imported into a profile, exported, written as iCalendar, read,
// imported into the emptied profile and exported again. After the first
// pass through the records nothing may drift: the second export is the
// first one, item for item (UIDs are made from row IDs, so they are
// compared by the order they first appear in). Imports never hang or
// crash whatever the rule or zone, and a second import of the same items
// adds nothing. What is written is UTF-8 folded at 75 octets, and libical reads
// it without a complaint. Before the records, the library's own round trip:
// write, read and write again gives the same bytes.
#include <libical/ical.h>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string_view>

#include "fuzz/reader_checks.h"
#include "import_export/calendar_items.h"
#include "interchange/ical_reader.h"
#include "interchange/ical_writer.h"
#include "platform/bstr.h"
#include "session/session.h"
#include "support/temp_dir.h"

namespace {

using namespace calyra::cli;
using namespace calyra::interchange;

// One database for the whole run, with one profile that every input
// empties and fills again; removed with its folder when the run ends.
struct Fixture {
    Fixture() {
        if (!std::getenv("CALYRA_REGISTRY")) ::setenv("CALYRA_REGISTRY", dir.file("registry").c_str(), 1);
        GlobalOptions options;
        options.db = dir.file("pim.db").string();
        session = std::make_unique<Session>(options);
        // The profile is added through the component, as a command would:
        // the command tree itself is not what this target reads.
        tagProfileInfo info{};
        calyra::Bstr name(u"fuzz"), id;
        info.bstrName = name;
        if (session->access<IProfileAccess>()->AddProfile(nullptr, &info, &id) != S_OK) std::abort();
    }
    calyra::test::TempDir dir;
    std::unique_ptr<Session> session;  // closed before its folder goes
};

Session& TheSession() {
    static Fixture fixture;
    return *fixture.session;
}

void Empty(Session& session) {
    for (const char16_t* sql : {u"DELETE FROM [tEvent];", u"DELETE FROM [tTask];", u"DELETE FROM [tEventCategory];"})
        session.connection()->Execute(nullptr, calyra::Bstr(sql), nullptr);
}

// Imports the items (events and tasks each through their own path) and
// exports what the profile then holds.
std::vector<CalendarItem> ThroughTheRecords(Session& session, const std::vector<CalendarItem>& items,
                                            size_t* added = nullptr) {
    std::vector<SourcedItem> events, tasks;
    for (const auto& item : items) (item.kind == ItemKind::Event ? events : tasks).push_back({"fuzz", item});
    ImportReport eventReport("events"), taskReport("tasks");
    ImportEvents(session, events, eventReport);
    ImportTasks(session, tasks, taskReport);
    if (added) *added = eventReport.importedCount() + taskReport.importedCount();
    auto out = ExportEvents(session, std::nullopt, std::nullopt);
    for (auto& task : ExportTasks(session)) out.push_back(std::move(task));
    return out;
}

std::vector<CalendarItem> Comparable(std::vector<CalendarItem> items) {
    std::map<std::string, std::string> names;
    for (auto& item : items) {
        item.line = 0;
        // The kept entry is the text each pass read (the source, then the
        // first export): the fields laid over it must agree, not the texts.
        item.original.clear();
        item.uid = names.emplace(item.uid, "u" + std::to_string(names.size())).first->second;
    }
    return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parsed = ParseICalendar(std::string_view(reinterpret_cast<const char*>(data), size));
    if (parsed.items.empty()) return 0;
    // The library alone: a file it wrote reads back to the same file, byte
    // for byte (a zone that contradicts its name once moved UNTIL by an
    // hour with each write and read).
    const std::string direct = WriteICalendar(parsed.items, 0);
    const std::string rewritten = WriteICalendar(ParseICalendar(direct).items, 0);
    FUZZ_CHECK_SHOWING(rewritten == direct, "written:\n%s\nwritten after a reading:\n%s\n", direct.c_str(),
                       rewritten.c_str());
    Session& session = TheSession();
    Empty(session);
    const auto first = ThroughTheRecords(session, parsed.items);
    size_t addedAgain = 0;
    ThroughTheRecords(session, parsed.items, &addedAgain);
    FUZZ_CHECK(addedAgain == 0);

    Empty(session);
    const std::string written = WriteICalendar(first, 0);
    calyra::fuzz::CheckWritten(written);
    icalcomponent* calendar = icalparser_parse_string(written.c_str());
    FUZZ_CHECK(calendar && icalcomponent_count_errors(calendar) == 0);
    icalcomponent_free(calendar);
    const auto second = ThroughTheRecords(session, ParseICalendar(written).items);
    FUZZ_CHECK_SHOWING(Comparable(first) == Comparable(second), "first export:\n%s\nafter a round trip:\n%s\n",
                       written.c_str(), WriteICalendar(second, 0).c_str());
    return 0;
}
