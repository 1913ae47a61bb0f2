// events list|show|add|edit|rm|exceptions
//
// Every date shown is wall time in the user's zone (session/user_time.h),
// every date typed is read there, and the stored moments stay UTC. A new
// event records the user's zone, so its repetitions keep their wall-clock
// time across clock changes.
#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "calendar/days.h"
#include "calendar/zoned_occurrences.h"
#include "cli/command_context.h"
#include "cli/record_commands.h"
#include "cli/record_edit.h"
#include "cli/record_options.h"
#include "cli/recurrence_options.h"
#include "cli/shown_values.h"
#include "commands/command_tree.h"
#include "commands/edit_in_editor.h"
#include "import_export/conversions.h"
#include "import_export/side_rows.h"
#include "platform/bstr.h"
#include "records/event_records.h"
#include "records/named_records.h"
#include "records/profile_events.h"
#include "records/record_fields.h"
#include "records/recurrence_record.h"
#include "records/text_limits.h"
#include "session/client_error.h"
#include "session/record_id.h"
#include "session/text_matching.h"
#include "session/user_time.h"

namespace calyra::cli {

using namespace calendar;
// Named, not anonymous: the commands library is compiled a few files at a
// time, and each family has its own AddOptions, RunAdd, ...
namespace event_commands {

const std::vector<std::string> kEventColumns{"event_id", "start", "end", "subject", "location", "recurrence"};
const std::vector<std::string> kOccurrenceColumns{"event_id", "start", "end", "subject"};
// Fields no option sets: the IDs and stamps are the component's, the times
// and the zone are EventTimes' (--time-zone takes a zone's name), and the
// occurrence an exception replaces is named by `events exceptions --add
// --original DAY`.
const std::vector<std::string> kNotEventOptions{
    "event_id", "modified", "start_date_time", "end_date_time", "original_start_time", "time_zone"};

const std::vector<std::string> kExceptionColumns{"event_id", "original_start_time", "start", "end", "subject",
                                                 "status"};

// The widest range the component's range lists accept.
DATE Earliest() { return FromCivil({100, 1, 1, 0, 0, 0}); }
DATE Latest() { return FromCivil({9999, 12, 31, 23, 59, 59}); }

// A moment of an EventJson value ("start", "end") as people read it.
std::string Shown(const Json& e, const std::string& key, const UserTime& user) {
    // Events and occurrences carry different keys; a missing one is false.
    const auto field = [&e](const std::string& name) {
        const auto it = e.find(name);
        return it == e.end() ? Json() : *it;
    };
    const Json utc = field(key + "_utc");
    const auto date = utc.is_string() ? TryParseIsoDate(utc.get<std::string>()) : std::nullopt;
    if (!date) return "";
    // All-day days are the same everywhere: shown as stored.
    const bool allDay = field("all_day_event") == true || field("all_day") == true;
    return allDay ? FormatLocalDay(*date, TimeZone::Utc(), user.style()) : user.show(*date);
}

// An event or an occurrence as people read it: its times in their zone and
// its repetition in words.
Json RowForPeople(const Json& e, const UserTime& user) {
    Json row = e;
    row["start"] = Shown(e, "start", user);
    row["end"] = Shown(e, "end", user);
    if (e.contains("recurrence_text")) row["recurrence"] = e["recurrence_text"];
    return row;
}

// --start, --end, --for and --remind, for a new event, an edit or an
// exception, read in the user's zone. An edit that moves the start keeps
// the event's length unless --end or --for is given too. All-day events
// keep their days as typed (they are the same in every zone); a bare --end
// day is the last day. A new event whose times are days only (--start
// "next monday") is an all-day event unless --all-day-event says otherwise.
// --time-zone (add and edit) gives the event a zone of its own: its times
// are typed, shown and repeated there.
class EventTimes {
public:
    void add(CLI::App& command, bool required, bool zoneOption = false) {
        if (zoneOption)
            command.add_option("--time-zone", m_zone,
                               "The event's own zone, e.g. Europe/Berlin (or its number in calyra's zone table): its "
                               "times are typed, shown and repeated there (default: your zone)");
        auto* start = command.add_option("--start", m_start,
                                         "Start in your zone, e.g. 2027-03-05T14:00, \"tomorrow 10:00\", \"fri 9am\"");
        if (required) start->required();
        auto* end = command.add_option(
            "--end", m_end,
            "End (default: one hour after the start, one day for all-day events; on edit the event keeps its length)");
        command.add_option("--for", m_for, "Length instead of --end, e.g. 30m, 1h30m, 2d")->excludes(end);
        command.add_option("--remind", m_remind, "Reminder this long before the start, e.g. 15m, 1h, 1d");
    }
    bool given() const {
        return !m_start.empty() || !m_end.empty() || !m_for.empty() || !m_remind.empty() || !m_zone.empty();
    }
    bool startGiven() const { return !m_start.empty(); }

    // The zone --time-zone names, by name or by its number in the zone
    // table; std::nullopt when not given. Throws ClientError (status 2) for
    // a zone that is unknown or that an event cannot record.
    std::optional<TimeZone> zone() const {
        if (m_zone.empty()) return std::nullopt;
        const bool number = std::all_of(m_zone.begin(), m_zone.end(), [](char c) { return c >= '0' && c <= '9'; });
        std::optional<TimeZone> zone;
        if (number) {
            zone = m_zone.size() <= 9 ? TimeZone::FromNumber(static_cast<std::uint32_t>(std::stoul(m_zone)))
                                      : std::nullopt;
            if (!zone)
                throw ClientError("--time-zone: no zone has the number " + m_zone + " (calyra's zone table has 1 to " +
                                      std::to_string(NumberedZoneNames().size()) +
                                      "); a name such as Europe/Berlin "
                                      "is clearer",
                                  2);
        } else {
            zone = TimeZone::Find(m_zone);
            if (!zone) throw ClientError("--time-zone: unknown zone \"" + m_zone + "\" (e.g. Europe/Berlin)", 2);
        }
        if (!zone->isUtc() && zone->number() == 0)
            throw ClientError("--time-zone: \"" + m_zone +
                                  "\" has no number in calyra's zone table, so an event cannot record it; name a zone "
                                  "such as Europe/Berlin",
                              2);
        return zone;
    }

    // Whether the times given are days only: --start without a time, and
    // --end and --for (when given) whole days too.
    bool onlyDays(const UserTime& user) const {
        if (m_start.empty() || user.read(m_start, "--start", true).hasTime) return false;
        if (!m_end.empty() && user.read(m_end, "--end", true).hasTime) return false;
        return m_for.empty() || user.duration(m_for, "--for") % kSecondsPerDay == 0;
    }

    // Sets the record's times; `fresh` when the record has none yet.
    void apply(tagEventInfo* info, bool fresh, const UserTime& user) const {
        const bool allDay = info->bAllDayEvent != 0;
        const DATE oldStart = info->dtStartDateTime, oldEnd = info->dtEndDateTime;
        DATE start = oldStart;
        if (!m_start.empty())
            start = allDay ? DayStart(user.read(m_start, "--start", true).date) : user.read(m_start, "--start").date;
        long long length = DateToSeconds(oldEnd) - DateToSeconds(oldStart);
        // An all-day event keeps the last second of its last day.
        if (fresh) length = allDay ? kSecondsPerDay - 1 : 3600;
        if (!m_for.empty()) length = user.duration(m_for, "--for") - (allDay ? 1 : 0);
        DATE end = SecondsToDate(DateToSeconds(start) + std::max(0LL, length));
        if (!m_end.empty()) {
            const auto typed = user.read(m_end, "--end", allDay);
            end = allDay && !typed.hasTime ? SecondsToDate(DateToSeconds(DayStart(typed.date)) + kSecondsPerDay - 1)
                                           : typed.date;
        }
        if (DateToSeconds(end) < DateToSeconds(start))
            throw ClientError("the end " + user.show(end) + " is before the start " + user.show(start), 2);
        info->dtStartDateTime = start;
        info->dtEndDateTime = end;
        if (!m_remind.empty()) info->lReminderTime = static_cast<LONG>(user.duration(m_remind, "--remind") / 60);
    }

private:
    static DATE DayStart(DATE d) { return SecondsToDate(DayOfDate(d) * kSecondsPerDay); }

    std::string m_start;
    std::string m_end;
    std::string m_for;
    std::string m_remind;
    std::string m_zone;
};

// The event's fields as options. The person's own category (an ID or a
// name; what `categories` keeps and the views select by) is --category
// everywhere, and the built-in kind (meeting, birthday, ...) is --kind.
// Earlier spellings keep working unlisted: --event-category-id for the
// category, and a --category value that names none of the profile's
// categories but is a kind sets the kind.
class EventFieldOptions {
public:
    void add(CLI::App& command) {
        std::vector<std::string> skip = kNotEventOptions;
        skip.insert(skip.end(), {"category", "event_category_id"});
        m_fields.add(command, std::type_identity<tagEventInfo>{}, skip);
        m_category = command.add_option("--category", m_categoryText,
                                        "Your category, by ID or name (see calyra categories; \"\" for none)");
        m_oldCategory = command.add_option("--event-category-id", m_categoryText)->group("");
        std::string kinds;
        for (const auto& [name, value] : EnumValues(KindField().enumName)) kinds += (kinds.empty() ? "" : "|") + name;
        m_kind = command.add_option("--kind", m_kindText, kinds);
    }

    size_t given() const { return m_fields.given() + (categoryGiven() ? 1 : 0) + (m_kind->count() > 0 ? 1 : 0); }
    // Whether the options give the field with this key anew.
    bool gives(const std::string& key) const {
        if (key == "category") return m_kind->count() > 0;
        if (key == "event_category_id") return categoryGiven();
        return m_fields.value(key) != nullptr;
    }
    const RecordOptions& fields() const { return m_fields; }

    // Lays the fields over `info`; the category is the session's to
    // resolve (resolveCategory). Throws ClientError (status 2) for a text
    // that cannot be read.
    void apply(tagEventInfo* info) const {
        m_fields.apply(info);
        if (m_kind->count() > 0) SetKind(m_kindText, info);
    }
    // The category named, as the profile's ID (an empty text: none).
    void resolveCategory(CommandContext& ctx, tagEventInfo* info) const {
        if (!categoryGiven()) return;
        const FieldInfo& field = RequireField(RecordDescriptionOf<tagEventInfo>(), "event_category_id");
        if (m_categoryText.empty()) return SetField(field, info, "");
        try {
            SetField(field, info, ResolveCategory(ctx.session().access<IEventCategoryAccess>().get(), m_categoryText));
        } catch (const ClientError& e) {
            if (e.status() != 1 || m_category->count() == 0 || m_kind->count() > 0 || !IsKind(m_categoryText)) throw;
            SetKind(m_categoryText, info);
        }
    }

private:
    static const FieldInfo& KindField() { return RequireField(RecordDescriptionOf<tagEventInfo>(), "category"); }
    static bool IsKind(const std::string& text) {
        for (const auto& [name, value] : EnumValues(KindField().enumName))
            if (name == text) return true;
        return false;
    }
    static void SetKind(const std::string& text, tagEventInfo* info) {
        if (!IsKind(text)) {
            std::vector<std::string> kinds;
            for (const auto& [name, value] : EnumValues(KindField().enumName)) kinds.push_back(name);
            throw ClientError("--kind: \"" + text + "\" is not a kind of event (" + JoinIds(kinds) + ")", 2);
        }
        SetField(KindField(), info, text);
    }
    bool categoryGiven() const { return m_category->count() > 0 || m_oldCategory->count() > 0; }

    RecordOptions m_fields;
    std::string m_categoryText;
    std::string m_kindText;
    CLI::Option* m_category = nullptr;
    CLI::Option* m_oldCategory = nullptr;
    CLI::Option* m_kind = nullptr;
};

// The user's time, in the event's own zone when --time-zone names one.
UserTime InZoneOf(const EventTimes& times, const UserTime& user) {
    const std::optional<TimeZone> zone = times.zone();
    return zone ? UserTime(*zone, user.style(), user.weekStart()) : user;
}

// The number an event records for `zone` (0: UTC).
ULONG ZoneNumber(const TimeZone& zone) { return zone.isUtc() ? 0 : zone.number(); }

// Every date of the event must be one the file and an iCalendar export can
// hold; else the command is refused before anything is written.
void CheckDates(const tagEventInfo& info) {
    const std::pair<const char*, DATE> dates[] = {{"--start", info.dtStartDateTime},
                                                  {"--end", info.dtEndDateTime},
                                                  {"the replaced occurrence's start", info.dtOriginalStartTime},
                                                  {"the repetition's start", info.stRecurrence.dtStart},
                                                  {"--until", info.stRecurrence.lEndBy}};
    for (const auto& [what, date] : dates) {
        if (date == 0) continue;
        const bool allDayEnd = info.bAllDayEvent && std::string_view(what) == "--end";
        if (std::string why = DateRangeProblem(date, allDayEnd); !why.empty())
            throw ClientError(std::string(what) + " " + FormatIsoDate(date) + ": " + why, 2);
    }
}

// Applies the repetition options, or moves the series with the event; the
// rule's days are those of the event's zone.
void ApplyRecurrence(const RecurrenceOptions& repeat, bool startMoved, tagEventInfo* info) {
    const TimeZone zone = ZoneOfEvent(*info);
    if (repeat.given()) {
        RecurrenceRule rule = ToRule(info->stRecurrence);
        repeat.apply(&rule, info->dtStartDateTime, zone);
        ToRecord(rule, &info->stRecurrence);
    } else if (startMoved && info->stRecurrence.ePattern != enumRecurrencePattern_None) {
        info->stRecurrence.dtStart = zone.toUtc(SeriesStartOf(zone.toLocal(info->dtStartDateTime)));
    }
}

Json ExceptionsJson(IEventAccess* events, const std::string& id, const UserTime& user) {
    OwnedRecordArray<tagEventInfo> all;
    AllExceptions(events, id, std::addressof(all));
    Json out = Json::array();
    for (const auto& e : all) {
        Json j = EventJson(e, user);
        user.putMoment(&j, "original_start", e.dtOriginalStartTime, e.bAllDayEvent != 0);
        out.push_back(std::move(j));
    }
    SortByStart(&out);
    return out;
}

// Exceptions as people read them: the occurrence replaced and the new times.
Json ExceptionRows(const Json& exceptions, const UserTime& user) {
    Json rows = Json::array();
    for (const auto& e : exceptions)
        rows.push_back(Json{{"event_id", e["event_id"]},
                            {"original_start_time", Shown(e, "original_start", user)},
                            {"start", Shown(e, "start", user)},
                            {"end", Shown(e, "end", user)},
                            {"subject", e["subject"]},
                            {"status", e["status"]}});
    return rows;
}

// The keys of the rows events list shows: an event's fields, its times in
// the person's zone, an occurrence's flags.
std::vector<std::string> EventFields() {
    return ListOptions::KeysOf(RecordDescriptionOf<tagEventInfo>(),
                               {"start", "start_utc", "end", "end_utc", "recurrence", "recurrence_text",
                                "time_zone_name", "all_day", "exception"});
}

struct ListCommandOptions {
    std::string from;
    std::string to;
    std::string category;
    bool selected = false;
    ListOptions shape;
};

void DeclareList(CLI::App& list, ListCommandOptions& o) {
    list.add_option("--from", o.from,
                    "Occurrences that end at or after this time, e.g. 2027-01-01, today, \"mon 9:00\"");
    list.add_option("--to", o.to,
                    "Occurrences that start at or before this time (a bare day: its end; default: a "
                    "year after --from)");
    auto* byCategory = list.add_option("--category", o.category, "Only events of this category (ID or name)");
    list.add_flag("--selected", o.selected, "Only events of the selected categories")->excludes(byCategory);
    o.shape.add(list, EventFields(), kEventColumns);
}

void RunList(CommandContext& ctx, const ListCommandOptions& o) {
    const UserTime user(ctx.settings);
    if (!o.from.empty() || !o.to.empty()) {
        // A stretch of wall-clock time; an open --to reaches a year past --from.
        const auto range = user.readRange(o.from, o.to);
        const DATE low = range.from.value_or(Earliest());
        const DATE high = range.to.value_or(SecondsToDate(DateToSeconds(low) + 366 * kSecondsPerDay));
        const auto keep = CategoryFilter(ctx.session(), o.category, o.selected);
        const ProfileEvents stored(ctx.session(), ReadRangeFor(low, high, user.zone()));
        Json out = Json::array();
        for (const auto& occurrence : stored.occurrences(low, high, user.zone(), keep))
            out.push_back(OccurrenceJson(occurrence, user));
        return o.shape.show(
            ctx.out(), std::move(out), [&](const Json& e) { return RowForPeople(e, user); }, kOccurrenceColumns);
    }
    auto events = ctx.session().access<IEventAccess>();
    LONG err = 0, count = 0;
    OwnedRecordArray<tagEventInfo> all;
    if (!o.category.empty()) {
        const std::string category = ResolveCategory(ctx.session().access<IEventCategoryAccess>().get(), o.category);
        Check(events->GetEventsByEventCategoryID(&err, Bstr::FromUtf8(category), Earliest(), Latest(), &count, &all),
              err, "cannot list the events of category " + category);
    } else if (o.selected) {
        Check(events->GetAllSelectedEvents(&err, Earliest(), Latest(), &count, &all), err,
              "cannot list the events of the selected categories");
    } else {
        AllEvents(events.get(), std::addressof(all));
    }
    Json out = Json::array();
    for (const auto& e : all) out.push_back(EventJson(e, user));
    SortByStart(&out);
    o.shape.show(
        ctx.out(), std::move(out), [&](const Json& e) { return RowForPeople(e, user); }, kEventColumns);
}

struct FindOptions {
    std::string text;
};

void DeclareFind(CLI::App& find, FindOptions& o) { find.add_option("text", o.text, "What to look for")->required(); }

// Events and exceptions whose subject, location or notes hold every word
// of the text, case and accents ignored as contacts find does; by start.
void RunFind(CommandContext& ctx, const FindOptions& o) {
    const SearchWords words(o.text);
    if (words.empty()) throw ClientError("events find: give a text to look for", 2);
    const UserTime user(ctx.settings);
    auto events = ctx.session().access<IEventAccess>();
    OwnedRecordArray<tagEventInfo> masters;
    AllEvents(events.get(), std::addressof(masters));
    Json out = Json::array();
    const auto keep = [&](const tagEventInfo& e) {
        if (words.foundIn({BstrUtf8(e.bstrSubject), BstrUtf8(e.bstrLocation), BstrUtf8(e.bstrDescription)}))
            out.push_back(EventJson(e, user));
    };
    for (const auto& e : masters) {
        keep(e);
        if (e.stRecurrence.ePattern == enumRecurrencePattern_None) continue;
        OwnedRecordArray<tagEventInfo> exceptions;
        AllExceptions(events.get(), BstrUtf8(e.bstrEventID), std::addressof(exceptions));
        for (const auto& x : exceptions) keep(x);
    }
    SortByStart(&out);
    if (ctx.out().json()) return ctx.out().list(out);
    Json rows = Json::array();
    for (const auto& e : out) rows.push_back(RowForPeople(e, user));
    ctx.out().list(rows, kEventColumns);
}

// An event or exception as stored, with "exception" saying which.
Json FindEvent(CommandContext& ctx, const std::string& id) {
    const UserTime user(ctx.settings);
    OwnedRecord<tagEventInfo> info;
    const EventRow row = ReadEvent(ctx.session().access<IEventAccess>().get(), id, &info);
    Json out = EventJson(info, user);
    out["exception"] = row == EventRow::Exception;
    return out;
}

Json ShowEvent(CommandContext& ctx, const Json& found) {
    const UserTime user(ctx.settings);
    Json out = found;
    if (out["exception"] == false)
        out["exceptions"] = ExceptionsJson(ctx.session().access<IEventAccess>().get(), found["event_id"], user);
    if (ctx.out().json()) return out;
    // For people: the times in their zone, the repetition in words, the
    // exceptions in brief.
    out["start_date_time"] = Shown(out, "start", user);
    out["end_date_time"] = Shown(out, "end", user);
    for (const char* key : {"start", "start_utc", "end", "end_utc"}) out.erase(key);
    out["recurrence"] = out["recurrence_text"];
    out.erase("recurrence_text");
    if (out.contains("exceptions")) out["exceptions"] = ExceptionRows(out["exceptions"], user);
    if (ctx.out().forPeople()) {
        // Words for the stored numbers; the zone's name replaces the number.
        out["time_zone"] = ZoneText(out["time_zone"].get<ULONG>());
        out.erase("time_zone_name");
        out["reminder_time"] = ReminderText(out["reminder_time"].get<LONG>(), "the start");
    }
    return out;
}

std::string EventNoun(const Json& e) { return e["exception"] == true ? "exception" : "event"; }

// A recurring event goes with its exceptions.
void RemoveEvent(CommandContext& ctx, Transaction&, const std::string& id) {
    auto events = ctx.session().access<IEventAccess>();
    OwnedRecord<tagEventInfo> info;
    EventRow row = EventRow::Master;
    try {
        row = ReadEvent(events.get(), id, &info);
    } catch (const ClientError& e) {
        // Found before anything went: an exception named beside its
        // recurring event went with it.
        if (e.fromDatabase()) throw;
        return;
    }
    LONG err = 0;
    const Bstr key = Bstr::FromUtf8(id);
    if (row == EventRow::Master)
        Check(events->DeleteEventByID(&err, key), err, "cannot delete event " + id);
    else
        Check(events->DeleteExceptionByID(&err, key), err, "cannot delete exception " + id);
}

const std::vector<std::string>& EventColumns() { return kEventColumns; }
Json EventRows(CommandContext& ctx) {
    const UserTime user(ctx.settings);
    OwnedRecordArray<tagEventInfo> all;
    AllEvents(ctx.session().access<IEventAccess>().get(), std::addressof(all));
    Json out = Json::array();
    for (const auto& e : all) out.push_back(EventJson(e, user));
    SortByStart(&out);
    return out;
}

constexpr RecordFamily kEvents{
    "event",     "event_id",   "event_ids", "id",      "Event ID", "ids",   "Event IDs", false,
    EventFields, EventColumns, EventRows,   FindEvent, ShowEvent,  nullptr, EventNoun,   RemoveEvent,
};

struct AddOptions {
    EventTimes times;
    EventFieldOptions fields;
    RecurrenceOptions repeat;
};

void DeclareAdd(CLI::App& add, AddOptions& o) {
    o.times.add(add, true, true);
    o.fields.add(add);
    add.get_option("--subject")->required();
    o.repeat.add(add);
}

void RunAdd(CommandContext& ctx, const AddOptions& o) {
    const UserTime user = InZoneOf(o.times, UserTime(ctx.settings));
    AddRecord<tagEventInfo>(
        ctx, {
                 kEvents,
                 [&](tagEventInfo* info) {
                     info->ePriority = enumEventPriority_Normal;  // the zero record's priority is "low"
                     // A new event blocks its time unless asked otherwise;
                     // the zero record's availability is "free".
                     info->eAvailability = enumAvailability_Busy;
                     // The event keeps the zone it was made in (0: UTC).
                     info->ulTimeZone = ZoneNumber(user.zone());
                     o.fields.apply(info);
                     if (!o.fields.gives("all_day_event") && o.times.onlyDays(user)) info->bAllDayEvent = 1;
                     o.times.apply(info, true, user);
                     ApplyRecurrence(o.repeat, false, info);
                     CheckDates(*info);
                 },
                 [&](tagEventInfo* info) {
                     o.fields.resolveCategory(ctx, info);
                     LONG err = 0;
                     Bstr id;
                     Check(ctx.session().access<IEventAccess>()->AddEvent(&err, info, &id), err,
                           "cannot add the event");
                     return id.utf8();
                 },
                 nullptr,
                 [&](const std::string& id, const tagEventInfo& info) {
                     Json result{{"event_id", id}};
                     user.putMoment(&result, "start", info.dtStartDateTime, info.bAllDayEvent != 0);
                     user.putMoment(&result, "end", info.dtEndDateTime, info.bAllDayEvent != 0);
                     ctx.out().done("added event " + id + " (" + BstrUtf8(info.bstrSubject) + "): " +
                                        user.showSpan(info.dtStartDateTime, info.dtEndDateTime, info.bAllDayEvent != 0),
                                    result);
                 },
             });
}

struct EditOptions {
    std::string id;
    EventTimes times;
    EventFieldOptions fields;
    RecurrenceOptions repeat;
    bool editor = false;
};

void DeclareEdit(CLI::App& edit, EditOptions& o) {
    edit.add_option("id", o.id, "Event ID")->required();
    o.times.add(edit, false, true);
    o.fields.add(edit);
    o.repeat.add(edit);
    AddEditorFlag(edit, EditorKind::Event, o.editor);
}

void RunEdit(CommandContext& ctx, const EditOptions& o) {
    CheckedId(o.id, "event");
    const bool given = o.fields.given() > 0 || o.times.given() || o.repeat.given();
    if (EditIfAsked(ctx, o.id, o.editor, given, EditorKind::Event)) return;
    const UserTime user = InZoneOf(o.times, UserTime(ctx.settings));
    ComPtr<IEventAccess> events;
    EventRow row = EventRow::Master;
    EditRecord<tagEventInfo>({
        "events edit",
        "event",
        given,
        [&] {
            OwnedRecord<tagEventInfo> probe;
            o.fields.apply(&probe);
        },
        [&](OwnedRecord<tagEventInfo>* info) {
            events = ctx.session().access<IEventAccess>();
            row = ReadEvent(events.get(), o.id, info);
            return o.id;
        },
        [&](const std::string& key) { return o.fields.gives(key); },
        [&](tagEventInfo* info) {
            o.fields.apply(info);
            if (o.times.zone()) info->ulTimeZone = ZoneNumber(user.zone());
            o.times.apply(info, false, user);
            ApplyRecurrence(o.repeat, o.times.startGiven() || o.times.zone(), info);
        },
        [&](const std::string& eventId, tagEventInfo* info) {
            CheckDates(*info);
            o.fields.resolveCategory(ctx, info);
            LONG err = 0;
            const Bstr key = Bstr::FromUtf8(eventId);
            if (row == EventRow::Master)
                Check(events->ModifyEventByID(&err, key, info), err, "cannot change event " + eventId);
            else
                Check(events->ModifyExceptionByID(&err, key, info), err, "cannot change exception " + eventId);
            KeepSideRowCurrent(ctx.session(), ItemFamily::Event, eventId);
        },
        [&](const std::string& eventId, const tagEventInfo& info) {
            Json result{{"event_id", eventId}};
            user.putMoment(&result, "start", info.dtStartDateTime, info.bAllDayEvent != 0);
            user.putMoment(&result, "end", info.dtEndDateTime, info.bAllDayEvent != 0);
            ctx.out().done("changed event " + eventId + ": " +
                               user.showSpan(info.dtStartDateTime, info.dtEndDateTime, info.bAllDayEvent != 0),
                           result);
        },
    });
}

// The occurrence of `master` that starts on wall-clock day `day` of the
// user's zone, laid out in the event's own zone.
// `kept`: the entry whose exact rule lays the series out (KeptSeriesEntry).
std::optional<Occurrence> OccurrenceOn(const tagEventInfo& master, long long day, const UserTime& user,
                                       const std::string& kept) {
    const DATE from = SecondsToDate(day * kSecondsPerDay), to = SecondsToDate((day + 1) * kSecondsPerDay - 1);
    const DateRange read = ReadRangeFor(from, to, user.zone());
    for (const auto& o : ExpandEventInZone(ToCalendarEvent(master, kept), {}, read.from, read.to, ZoneOfEvent(master)))
        if (DayOfDate(OnWallClock(o, user.zone()).start) == day) return o;
    return std::nullopt;
}

struct ExceptionOptions {
    std::string id;
    bool add = false;
    std::string original;
    EventTimes times;
    EventFieldOptions fields;
};

void DeclareExceptions(CLI::App& cmd, ExceptionOptions& o) {
    cmd.add_option("id", o.id, "The recurring event's ID")->required();
    cmd.add_flag("--add", o.add, "Add an exception: replace the occurrence on --original");
    cmd.add_option("--original", o.original, "The day of the occurrence the exception replaces, e.g. 2027-03-05");
    o.times.add(cmd, false);
    o.fields.add(cmd);
}

void RunExceptions(CommandContext& ctx, const ExceptionOptions& o) {
    const std::string& id = o.id;
    CheckedId(id, "event");
    if (!o.add && (!o.original.empty() || o.times.given() || o.fields.given()))
        throw ClientError("--original and event fields go with --add", 2);
    if (o.add && o.original.empty()) throw ClientError("--add needs --original DATE (the occurrence it replaces)", 2);
    const UserTime user(ctx.settings);
    const long long day = o.add ? DayOfDate(user.read(o.original, "--original", true).date) : 0;
    const std::string dayText = user.showDay(day, false);
    if (o.add) ctx.willWrite();
    auto events = ctx.session().access<IEventAccess>();
    OwnedRecord<tagEventInfo> master;
    if (ReadEvent(events.get(), id, &master) == EventRow::Exception)
        throw ClientError("event " + id + " is itself an exception");
    Json existing = ExceptionsJson(events.get(), id, user);
    if (!o.add) {
        if (ctx.out().json()) return ctx.out().list(existing);
        return ctx.out().list(ExceptionRows(existing, user), kExceptionColumns);
    }

    if (master.stRecurrence.ePattern == enumRecurrencePattern_None)
        throw ClientError("event " + id + " does not repeat");
    const auto occurrence = OccurrenceOn(master, day, user, KeptSeriesEntry(ctx.session(), id));
    if (!occurrence) throw ClientError("event " + id + " has no occurrence on " + dayText);
    for (const auto& e : existing) {
        const auto replaced = TryParseIsoDate(
            e["original_start_time"].is_string() ? e["original_start_time"].get<std::string>() : std::string());
        const bool allDay = e["all_day_event"] == true;
        if (replaced && DayOfDate(allDay ? *replaced : user.zone().toLocal(*replaced)) == day)
            throw ClientError("the occurrence on " + dayText + " already has exception " +
                              e["event_id"].get<std::string>());
    }
    // The exception starts as a copy of the occurrence and does not repeat.
    OwnedRecord<tagEventInfo> info;
    RecordCopyByDescription(&RecordDescriptionOf<tagEventInfo>(), static_cast<const tagEventInfo*>(&master),
                            static_cast<tagEventInfo*>(&info));
    RefuseCutTexts(
        RecordDescriptionOf<tagEventInfo>(), &info, [&](const std::string& key) { return o.fields.gives(key); },
        "event " + id);
    info.stRecurrence.ePattern = enumRecurrencePattern_None;
    info.stRecurrence.eEnd = enumRecurrenceEnd_None;
    info.dtOriginalStartTime = occurrence->start;
    info.dtStartDateTime = occurrence->start;
    info.dtEndDateTime = occurrence->end;
    o.fields.apply(&info);
    o.times.apply(&info, false, user);
    CheckDates(info);
    o.fields.resolveCategory(ctx, &info);
    LONG err = 0;
    Bstr exceptionId;
    Check(events->AddException(&err, Bstr::FromUtf8(id), &info, &exceptionId), err, "cannot add the exception");
    ctx.out().done("added exception " + exceptionId.utf8() + " to event " + id + " for " + dayText + ": " +
                       user.showSpan(info.dtStartDateTime, info.dtEndDateTime, info.bAllDayEvent != 0),
                   Json{{"exception_id", exceptionId.utf8()}, {"event_id", id}});
}

// `exceptions` reads in its reading form; with --add it calls willWrite().
constexpr CommandRow kEventCommands[] = {
    Row<ListCommandOptions, DeclareList, RunList>(
        "list", "List events; with --from or --to, their occurrences in that stretch (repetitions expanded)",
        Access::Reads),
    Row<FindOptions, DeclareFind, RunFind>(
        "find", "Find events and exceptions by subject, location or notes (every word; case and accents ignored)",
        Access::Reads),
    ShowRow<kEvents>("Show every field of an event, its repetition and its exceptions"),
    Row<AddOptions, DeclareAdd, RunAdd>("add", "Add an event", Access::Writes),
    Row<EditOptions, DeclareEdit, RunEdit>("edit", "Change an event's fields (the others keep their values)",
                                           Access::Writes),
    RmRow<kEvents>("Delete events (a recurring event with its exceptions; all or none)"),
    Row<ExceptionOptions, DeclareExceptions, RunExceptions>(
        "exceptions", "List the exceptions of a recurring event, or add one with --add --original DATE", Access::Reads),
};

}  // namespace event_commands

void AddEventCommands(CLI::App& app, CommandContext& ctx) {
    AddGroup(app, ctx,
             {"events", "Calendar events, their repetitions and exceptions", nullptr, event_commands::kEventCommands});
}

}  // namespace calyra::cli
