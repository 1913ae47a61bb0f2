#include "sync/calendar_target.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <unordered_set>

#include "import_export/calendar_items.h"
#include "import_export/conversions.h"
#include "import_export/import_report.h"
#include "interchange/ical_reader.h"
#include "interchange/ical_writer.h"
#include "platform/bstr.h"
#include "platform/utf8.h"
#include "records/event_records.h"
#include "session/client_error.h"
#include "side_store/side_store.h"
#include "sync/local_fingerprints.h"

namespace calyra::sync {
namespace {

using cli::ClientError;
using cli::ItemFamily;
using interchange::CalendarItem;
using interchange::ItemKind;

constexpr std::string_view kEventPrefix = "event:";
constexpr std::string_view kTaskPrefix = "task:";

ItemFamily FamilyOf(ItemKind kind) { return kind == ItemKind::Todo ? ItemFamily::Task : ItemFamily::Event; }

std::string LocalId(ItemKind kind, const std::string& row) {
    return std::string(kind == ItemKind::Todo ? kTaskPrefix : kEventPrefix) + row;
}

// The kind and row a local ID names; none for an ID of no calendar family.
std::optional<std::pair<ItemKind, std::string>> RowOf(const std::string& id) {
    if (id.starts_with(kEventPrefix)) return std::pair{ItemKind::Event, id.substr(kEventPrefix.size())};
    if (id.starts_with(kTaskPrefix)) return std::pair{ItemKind::Todo, id.substr(kTaskPrefix.size())};
    return std::nullopt;
}

// A server item read: its entries, all of one UID and one kind.
struct Parsed {
    std::vector<CalendarItem> entries;
    ItemKind kind = ItemKind::Event;
    std::string uid;
};

Parsed Parse(const std::string& text) {
    interchange::ICalParseResult read = interchange::ParseICalendar(text);
    if (read.items.empty()) {
        std::string why = "the server's item holds no event or task";
        for (const auto& d : read.report.diagnostics)
            if (d.skipped) {
                why += ": " + d.what;
                break;
            }
        throw ClientError(why);
    }
    Parsed out;
    out.kind = read.items.front().kind;
    out.uid = read.items.front().uid;
    for (const CalendarItem& item : read.items) {
        if (item.kind != out.kind) throw ClientError("the server's item mixes events and tasks");
        if (item.uid != out.uid) throw ClientError("the server's item holds more than one UID");
    }
    if (out.uid.empty()) throw ClientError("the server's item has no UID");
    out.entries = std::move(read.items);
    return out;
}

// Removes the replaced occurrences of stored series `row` that the
// server's item no longer names (by a RECURRENCE-ID of `entries` or an
// EXDATE of `master`): the series is what the server sends, no more.
void DropUnnamedExceptions(cli::Session& session, const std::string& row, const CalendarItem& master,
                           const std::vector<CalendarItem>& entries) {
    std::set<interchange::UtcSeconds> named(master.exdates.begin(), master.exdates.end());
    for (const CalendarItem& e : entries)
        if (e.recurrenceId) named.insert(*e.recurrenceId);
    auto events = session.access<IEventAccess>();
    OwnedRecordArray<tagEventInfo> stored;
    cli::AllExceptions(events.get(), row, std::addressof(stored));
    for (const tagEventInfo& x : stored) {
        const interchange::UtcSeconds when = cli::UtcOfDate(x.dtOriginalStartTime);
        // An all-day series names its occurrences by their days.
        const interchange::UtcSeconds day = when - ((when % 86400) + 86400) % 86400;
        if (named.contains(when) || (master.allDay && named.contains(day))) continue;
        LONG err = 0;
        cli::Check(events->DeleteExceptionByID(&err, x.bstrEventID), err,
                   "cannot remove a replaced occurrence the server no longer has");
    }
}

long long Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

CalendarKinds KindsOf(const std::vector<std::string>& components) {
    if (components.empty()) return {true, true};
    CalendarKinds kinds;
    for (const auto& c : components) {
        kinds.events = kinds.events || c == "VEVENT";
        kinds.tasks = kinds.tasks || c == "VTODO";
    }
    return kinds;
}

CalendarTarget::CalendarTarget(cli::Session& session, SyncState& state, std::string collection, CalendarKinds holds,
                               CalendarKinds home, std::set<std::string> elsewhere)
    : StoreTarget(session, state, std::move(collection)),
      m_profile(Utf16ToUtf8(session.profileId())),
      m_holds(holds),
      m_home(home),
      m_elsewhere(std::move(elsewhere)) {}

CalendarTarget::~CalendarTarget() = default;

void CalendarTarget::localItems(const std::function<void(std::vector<LocalItem>& chunk)>& visit) {
    // Hashes of the UIDs met (a kind mark, then the UID), sorted: eight
    // bytes an item, not the UID.
    std::vector<uint64_t> uids;
    auto take = [&](ItemKind kind, bool home) {
        return [&, kind, home](std::vector<Fingerprint>& prints) {
            std::vector<std::string> ids;
            ids.reserve(prints.size());
            for (const Fingerprint& f : prints) ids.push_back(LocalId(kind, f.rowId));
            // Only an item this calendar is not the home of needs to be
            // held here to be its.
            std::set<std::string> heldHere;
            if (!home || !m_elsewhere.empty())
                for (SyncedItem& item : m_state.itemsOf(m_collection, ids)) heldHere.insert(std::move(item.localId));
            std::vector<LocalItem> chunk;
            std::unordered_set<uint64_t> inChunk;
            for (size_t i = 0; i < prints.size(); ++i) {
                if (!heldHere.contains(ids[i]) && (!home || m_elsewhere.contains(ids[i]))) continue;
                // Two rows under one UID: the first is the one the server knows.
                const uint64_t uid = Hash64((kind == ItemKind::Todo ? "t" : "e") + prints[i].uid);
                if (std::binary_search(uids.begin(), uids.end(), uid) || !inChunk.insert(uid).second) continue;
                chunk.push_back({std::move(ids[i]), std::move(prints[i].uid), std::move(prints[i].hash)});
            }
            const size_t before = uids.size();
            uids.insert(uids.end(), inChunk.begin(), inChunk.end());
            std::sort(uids.begin() + static_cast<std::ptrdiff_t>(before), uids.end());
            std::inplace_merge(uids.begin(), uids.begin() + static_cast<std::ptrdiff_t>(before), uids.end());
            if (!chunk.empty()) visit(chunk);
        };
    };
    if (m_holds.events || m_state.holdsLocalIds(m_collection, kEventPrefix))
        EventFingerprints(m_session, take(ItemKind::Event, m_home.events));
    if (m_holds.tasks || m_state.holdsLocalIds(m_collection, kTaskPrefix))
        TaskFingerprints(m_session, take(ItemKind::Todo, m_home.tasks));
}

std::string CalendarTarget::exportItem(const std::string& id) {
    // The one item is read with its exceptions, not the whole calendar: a
    // sync that sends one edit costs what the edit costs.
    const auto row = RowOf(id);
    if (!row) throw ClientError("no local item " + id);
    std::vector<CalendarItem> entries;
    if (row->first == ItemKind::Todo)
        entries.push_back(cli::ExportTask(m_session, row->second));
    else
        entries = cli::ExportSeries(m_session, row->second);
    if (entries.empty()) throw ClientError("no local item " + id);
    return interchange::WriteICalendar(entries, Now());
}

std::vector<SyncTarget::Stored> CalendarTarget::importItems(const std::vector<Incoming>& items) {
    tx();
    std::vector<Stored> out(items.size());
    std::vector<Parsed> parsed(items.size());
    std::vector<CalendarItem> batch[2];  // events, tasks
    std::vector<std::string> uids[2];
    std::vector<bool> replaced(items.size(), false);
    cli::ImportReport report("calendar items");
    for (size_t i = 0; i < items.size(); ++i) {
        try {
            parsed[i] = Parse(items[i].text);
            Parsed& p = parsed[i];
            const size_t k = p.kind == ItemKind::Todo ? 1 : 0;
            if (const auto known = RowOf(items[i].id)) {
                if (known->first != p.kind) throw ClientError("the server's item changed from event to task or back");
                // The series is made what the server says; its replaced
                // occurrences are stored with the batch.
                auto master = std::find_if(p.entries.begin(), p.entries.end(),
                                           [](const CalendarItem& e) { return !e.recurrenceId; });
                if (master != p.entries.end()) {
                    if (p.kind == ItemKind::Todo) {
                        cli::ReplaceTask(m_session, known->second, *master, report);
                    } else {
                        cli::ReplaceEvent(m_session, known->second, *master, report);
                        DropUnnamedExceptions(m_session, known->second, *master, p.entries);
                    }
                    p.entries.erase(master);
                }
                out[i].item = {items[i].id, p.uid, ""};
                replaced[i] = true;
            }
            for (CalendarItem& e : p.entries) batch[k].push_back(std::move(e));
            uids[k].push_back(p.uid);
        } catch (const ClientError& e) {
            out[i].error = e.what();
        }
    }
    for (const ItemKind kind : {ItemKind::Event, ItemKind::Todo}) {
        const size_t k = kind == ItemKind::Todo ? 1 : 0;
        if (uids[k].empty()) continue;
        if (!batch[k].empty()) {
            cli::CalendarImport import(m_session, report, kind);
            import.add(std::move(batch[k]), m_collection);
            import.finish();
        }
        cli::SideStore side(m_session);
        const auto rows = side.findByUids(m_profile, FamilyOf(kind), uids[k]);
        for (size_t i = 0; i < items.size(); ++i) {
            if (!out[i].error.empty() || replaced[i] || parsed[i].kind != kind) continue;
            const auto row = rows.find(parsed[i].uid);
            if (row == rows.end())
                out[i].error = "the database did not take it";
            else
                out[i].item = {LocalId(kind, row->second.rowId), parsed[i].uid, ""};
        }
    }
    return out;
}

void CalendarTarget::removeItem(const std::string& id) {
    const auto known = RowOf(id);
    if (!known) throw ClientError("no local item " + id);
    tx();
    LONG err = 0;
    const Bstr key = Bstr::FromUtf8(known->second);
    if (known->first == ItemKind::Todo)
        cli::Check(m_session.access<ITaskAccess>()->DeleteTaskByID(&err, key), err, "cannot delete task " + id);
    else
        cli::Check(m_session.access<IEventAccess>()->DeleteEventByID(&err, key), err, "cannot delete event " + id);
    cli::SideStore(m_session).erase(FamilyOf(known->first), known->second);
}

}  // namespace calyra::sync
