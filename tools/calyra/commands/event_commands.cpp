// events list|show|add|edit|rm|exceptions
#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "calendar/days.h"
#include "commands/command_tree.h"
#include "commands/recurrence_options.h"
#include "import_export/conversions.h"
#include "platform/bstr.h"
#include "records/event_records.h"
#include "records/named_records.h"
#include "records/recurrence_record.h"
#include "records/text_limits.h"
#include "shell/client_error.h"
#include "shell/command_context.h"
#include "shell/date_text.h"
#include "shell/record_fields.h"
#include "shell/record_id.h"

namespace calyra::cli {

using namespace calendar;
namespace {

const std::vector<std::string> kEventColumns{"event_id", "start", "end", "subject", "location", "recurrence"};
const std::vector<std::string> kExceptionColumns{
    "event_id", "original_start_time", "start_date_time", "end_date_time", "subject", "status"};

// The widest range the component's range lists accept.
DATE Earliest() { return FromCivil({100, 1, 1, 0, 0, 0}); }
DATE Latest() { return FromCivil({9999, 12, 31, 23, 59, 59}); }

// An end of a range given as a bare day means the whole of that day.
DATE ParseRangeEnd(const std::string& text) {
    const DATE d = ParseIsoDate(text);
    const bool wholeDay = text.size() == 10 || text == "today";
    return wholeDay ? SecondsToDate(DateToSeconds(d) + kSecondsPerDay - 1) : d;
}

// The table row people see for an event.
Json EventRowForPeople(const Json& e) {
    return Json{{"event_id", e["event_id"]}, {"start", e["start_date_time"]}, {"end", e["end_date_time"]},
                {"subject", e["subject"]},   {"location", e["location"]},     {"recurrence", e["recurrence_text"]}};
}

void ListEvents(const Output& out, const Json& events) {
    if (out.json()) return out.list(events);
    Json rows = Json::array();
    for (const auto& e : events) rows.push_back(EventRowForPeople(e));
    out.list(rows, kEventColumns);
}

// --start and --end, for a new event, an edit or an exception. An edit that
// moves the start keeps the event's length unless --end is given too.
class EventTimes {
public:
    EventTimes(CLI::App* command, bool required) {
        auto* start = command->add_option("--start", *m_start, "Start, YYYY-MM-DD[THH:MM[:SS]] UTC");
        if (required) start->required();
        command->add_option("--end", *m_end,
                            "End (default: one hour after the start, one day for all-day events; on edit the "
                            "event keeps its length)");
    }
    bool given() const { return !m_start->empty() || !m_end->empty(); }
    bool startGiven() const { return !m_start->empty(); }

    // Sets the record's times; `fresh` when the record has none yet.
    void apply(tagEventInfo* info, bool fresh) const {
        const DATE oldStart = info->dtStartDateTime, oldEnd = info->dtEndDateTime;
        const DATE start = m_start->empty() ? oldStart : ParseIsoDate(*m_start);
        long long length = DateToSeconds(oldEnd) - DateToSeconds(oldStart);
        // An all-day event keeps the last second of its last day.
        if (fresh) length = info->bAllDayEvent ? kSecondsPerDay - 1 : 3600;
        DATE end = m_end->empty() ? SecondsToDate(DateToSeconds(start) + std::max(0LL, length)) : ParseIsoDate(*m_end);
        if (DateToSeconds(end) < DateToSeconds(start))
            throw ClientError("the end " + FormatIsoDate(end) + " is before the start " + FormatIsoDate(start), 2);
        info->dtStartDateTime = start;
        info->dtEndDateTime = end;
    }

private:
    std::shared_ptr<std::string> m_start = std::make_shared<std::string>();
    std::shared_ptr<std::string> m_end = std::make_shared<std::string>();
};

// Every date of the event must be one the file and an iCalendar export can
// hold; else the command is refused before anything is written.
void CheckDates(const tagEventInfo& info) {
    const std::pair<const char*, DATE> dates[] = {{"--start", info.dtStartDateTime},
                                                  {"--end", info.dtEndDateTime},
                                                  {"--original-start-time", info.dtOriginalStartTime},
                                                  {"the repetition's start", info.stRecurrence.dtStart},
                                                  {"--until", info.stRecurrence.lEndBy}};
    for (const auto& [what, date] : dates) {
        if (date == 0) continue;
        const bool allDayEnd = info.bAllDayEvent && std::string_view(what) == "--end";
        if (std::string why = DateRangeProblem(date, allDayEnd); !why.empty())
            throw ClientError(std::string(what) + " " + FormatIsoDate(date) + ": " + why, 2);
    }
}

// The category an event names must exist (an empty one clears it).
void CheckCategoryOf(CommandContext& ctx, const RecordOptions& fields) {
    const std::string* category = fields.value("event_category_id");
    if (!category || category->empty()) return;
    CheckedId(*category, "event category");
    RequireCategory(ctx.session().access<IEventCategoryAccess>().get(), *category);
}

// Applies the repetition options, or moves the series with the event.
void ApplyRecurrence(const RecurrenceOptions& repeat, bool startMoved, tagEventInfo* info) {
    if (repeat.given()) {
        RecurrenceRule rule = ToRule(info->stRecurrence);
        repeat.apply(&rule, info->dtStartDateTime);
        ToRecord(rule, &info->stRecurrence);
    } else if (startMoved && info->stRecurrence.ePattern != enumRecurrencePattern_None) {
        info->stRecurrence.dtStart = SeriesStartOf(info->dtStartDateTime);
    }
}

Json ExceptionsJson(IEventAccess* events, const std::string& id) {
    OwnedRecordArray<tagEventInfo> all;
    AllExceptions(events, id, std::addressof(all));
    Json out = Json::array();
    for (const auto& e : all) out.push_back(EventJson(e));
    SortByStart(&out);
    return out;
}

void AddList(CLI::App* group, CommandContext& ctx) {
    auto* list = group->add_subcommand("list", "List events (recurring events by their own first times; see month)");
    auto from = std::make_shared<std::string>(), to = std::make_shared<std::string>();
    auto category = std::make_shared<std::string>();
    auto selected = std::make_shared<bool>(false);
    list->add_option("--from", *from, "Only events that end at or after this time");
    list->add_option("--to", *to, "Only events that start at or before this time (a bare day: its end)");
    auto* byCategory = list->add_option("--category", *category, "Only events of this category ID");
    list->add_flag("--selected", *selected, "Only events of the selected categories")->excludes(byCategory);
    ctx.bind(list, [&ctx, from, to, category, selected] {
        const DATE low = from->empty() ? Earliest() : ParseIsoDate(*from);
        const DATE high = to->empty() ? Latest() : ParseRangeEnd(*to);
        if (DateToSeconds(low) > DateToSeconds(high)) throw ClientError("--from is after --to", 2);
        if (!category->empty())
            *category = ResolveCategory(ctx.session().access<IEventCategoryAccess>().get(), *category);
        auto events = ctx.session().access<IEventAccess>();
        LONG err = 0, count = 0;
        OwnedRecordArray<tagEventInfo> all;
        const bool ranged = !from->empty() || !to->empty();
        if (!category->empty())
            Check(events->GetEventsByEventCategoryID(&err, Bstr::FromUtf8(*category), low, high, &count, &all), err,
                  "cannot list the events of category " + *category);
        else if (*selected)
            Check(events->GetAllSelectedEvents(&err, low, high, &count, &all), err,
                  "cannot list the events of the selected categories");
        else
            AllEvents(events.get(), std::addressof(all));
        Json out = Json::array();
        for (const auto& e : all) {
            // Without a category the component has no range list; the same
            // closed-range overlap is applied here.
            if (category->empty() && !*selected && ranged &&
                (DateToSeconds(e.dtStartDateTime) > DateToSeconds(high) ||
                 DateToSeconds(e.dtEndDateTime) < DateToSeconds(low)))
                continue;
            out.push_back(EventJson(e));
        }
        SortByStart(&out);
        ListEvents(ctx.out(), out);
    });
}

void AddShow(CLI::App* group, CommandContext& ctx) {
    auto* show = group->add_subcommand("show", "Show every field of an event, its repetition and its exceptions");
    auto id = std::make_shared<std::string>();
    show->add_option("id", *id, "Event ID")->required();
    ctx.bind(show, [&ctx, id] {
        CheckedId(*id, "event");
        auto events = ctx.session().access<IEventAccess>();
        OwnedRecord<tagEventInfo> info;
        const EventRow row = ReadEvent(events.get(), *id, &info);
        Json out = EventJson(info);
        out["exception"] = row == EventRow::Exception;
        if (row == EventRow::Master) out["exceptions"] = ExceptionsJson(events.get(), *id);
        if (ctx.out().json()) return ctx.out().object(out);
        // For people: the repetition in words, the exceptions in brief.
        out["recurrence"] = out["recurrence_text"];
        out.erase("recurrence_text");
        if (out.contains("exceptions")) {
            Json brief = Json::array();
            for (const auto& e : out["exceptions"]) {
                Json b = Json::object();
                for (const auto& key : kExceptionColumns) b[key] = e[key];
                brief.push_back(b);
            }
            out["exceptions"] = brief;
        }
        ctx.out().object(out);
    });
}

void AddAdd(CLI::App* group, CommandContext& ctx) {
    auto* add = group->add_subcommand("add", "Add an event");
    auto times = std::make_shared<EventTimes>(add, true);
    auto fields = std::make_shared<RecordOptions>(
        add, std::type_identity<tagEventInfo>{},
        std::vector<std::string>{"event_id", "modified", "start_date_time", "end_date_time"});
    add->get_option("--subject")->required();
    auto repeat = std::make_shared<RecurrenceOptions>(add);
    ctx.bind(add, [&ctx, times, fields, repeat] {
        OwnedRecord<tagEventInfo> info;
        info.ePriority = enumEventPriority_Normal;  // the zero record's priority is "low"
        fields->apply(&info);
        times->apply(&info, true);
        ApplyRecurrence(*repeat, false, &info);
        CheckDates(info);
        CheckCategoryOf(ctx, *fields);
        auto events = ctx.session().access<IEventAccess>();
        LONG err = 0;
        Bstr id;
        Check(events->AddEvent(&err, &info, &id), err, "cannot add the event");
        ctx.out().done("added event " + id.utf8() + " (" + BstrUtf8(info.bstrSubject) + ")",
                       Json{{"event_id", id.utf8()}});
    });
}

void AddEdit(CLI::App* group, CommandContext& ctx) {
    auto* edit = group->add_subcommand("edit", "Change an event's fields (the others keep their values)");
    auto id = std::make_shared<std::string>();
    edit->add_option("id", *id, "Event ID")->required();
    auto times = std::make_shared<EventTimes>(edit, false);
    auto fields = std::make_shared<RecordOptions>(
        edit, std::type_identity<tagEventInfo>{},
        std::vector<std::string>{"event_id", "modified", "start_date_time", "end_date_time"});
    auto repeat = std::make_shared<RecurrenceOptions>(edit);
    ctx.bind(edit, [&ctx, id, times, fields, repeat] {
        CheckedId(*id, "event");
        if (fields->given() == 0 && !times->given() && !repeat->given())
            throw ClientError("nothing to change (see events edit --help)", 2);
        auto events = ctx.session().access<IEventAccess>();
        OwnedRecord<tagEventInfo> info;
        const EventRow row = ReadEvent(events.get(), *id, &info);
        RefuseCutTexts(RecordDescriptionOf<tagEventInfo>(), &info, *fields, "event " + *id);
        fields->apply(&info);
        times->apply(&info, false);
        ApplyRecurrence(*repeat, times->startGiven(), &info);
        CheckDates(info);
        CheckCategoryOf(ctx, *fields);
        LONG err = 0;
        const Bstr key = Bstr::FromUtf8(*id);
        if (row == EventRow::Master)
            Check(events->ModifyEventByID(&err, key, &info), err, "cannot change event " + *id);
        else
            Check(events->ModifyExceptionByID(&err, key, &info), err, "cannot change exception " + *id);
        ctx.out().done("changed event " + *id, Json{{"event_id", *id}});
    });
}

void AddRemove(CLI::App* group, CommandContext& ctx) {
    auto* rm = group->add_subcommand("rm", "Delete an event (a recurring event with its exceptions)");
    auto id = std::make_shared<std::string>();
    rm->add_option("id", *id, "Event ID")->required();
    ctx.bind(rm, [&ctx, id] {
        CheckedId(*id, "event");
        auto events = ctx.session().access<IEventAccess>();
        OwnedRecord<tagEventInfo> info;
        const EventRow row = ReadEvent(events.get(), *id, &info);
        LONG err = 0;
        const Bstr key = Bstr::FromUtf8(*id);
        if (row == EventRow::Master)
            Check(events->DeleteEventByID(&err, key), err, "cannot delete event " + *id);
        else
            Check(events->DeleteExceptionByID(&err, key), err, "cannot delete exception " + *id);
        ctx.out().done(std::string(row == EventRow::Master ? "deleted event " : "deleted exception ") + *id,
                       Json{{"event_id", *id}});
    });
}

// The occurrence of `master` that starts on the day of `when`.
std::optional<Occurrence> OccurrenceOn(const tagEventInfo& master, DATE when) {
    const long long day = DayOfDate(when);
    CalendarEvent series = ToCalendarEvent(master);
    for (const auto& o :
         ExpandEvent(series, {}, SecondsToDate(day * kSecondsPerDay), SecondsToDate((day + 1) * kSecondsPerDay - 1)))
        if (DayOfDate(o.start) == day) return o;
    return std::nullopt;
}

void AddExceptions(CLI::App* group, CommandContext& ctx) {
    auto* cmd = group->add_subcommand(
        "exceptions", "List the exceptions of a recurring event, or add one with --add --original DATE");
    auto id = std::make_shared<std::string>();
    cmd->add_option("id", *id, "The recurring event's ID")->required();
    auto add = std::make_shared<bool>(false);
    auto original = std::make_shared<std::string>();
    cmd->add_flag("--add", *add, "Add an exception: replace the occurrence on --original");
    cmd->add_option("--original", *original, "The day of the occurrence the exception replaces");
    auto times = std::make_shared<EventTimes>(cmd, false);
    auto fields = std::make_shared<RecordOptions>(
        cmd, std::type_identity<tagEventInfo>{},
        std::vector<std::string>{"event_id", "modified", "start_date_time", "end_date_time", "original_start_time"});
    ctx.bind(cmd, [&ctx, id, add, original, times, fields] {
        CheckedId(*id, "event");
        if (!*add && (!original->empty() || times->given() || fields->given()))
            throw ClientError("--original and event fields go with --add", 2);
        if (*add && original->empty()) throw ClientError("--add needs --original DATE (the occurrence it replaces)", 2);
        const DATE when = *add ? ParseIsoDate(*original) : 0;
        if (*add) ctx.willWrite();
        auto events = ctx.session().access<IEventAccess>();
        OwnedRecord<tagEventInfo> master;
        if (ReadEvent(events.get(), *id, &master) == EventRow::Exception)
            throw ClientError("event " + *id + " is itself an exception");
        Json existing = ExceptionsJson(events.get(), *id);
        if (!*add) {
            if (ctx.out().json()) return ctx.out().list(existing);
            return ctx.out().list(existing, kExceptionColumns);
        }

        if (master.stRecurrence.ePattern == enumRecurrencePattern_None)
            throw ClientError("event " + *id + " does not repeat");
        const auto occurrence = OccurrenceOn(master, when);
        if (!occurrence) throw ClientError("event " + *id + " has no occurrence on " + FormatIsoDay(when));
        for (const auto& e : existing) {
            const auto replaced = TryParseIsoDate(
                e["original_start_time"].is_string() ? e["original_start_time"].get<std::string>() : std::string());
            if (replaced && DayOfDate(*replaced) == DayOfDate(when))
                throw ClientError("the occurrence on " + FormatIsoDay(when) + " already has exception " +
                                  e["event_id"].get<std::string>());
        }
        // The exception starts as a copy of the occurrence and does not repeat.
        OwnedRecord<tagEventInfo> info;
        RecordCopyByDescription(&RecordDescriptionOf<tagEventInfo>(), static_cast<const tagEventInfo*>(&master),
                                static_cast<tagEventInfo*>(&info));
        RefuseCutTexts(RecordDescriptionOf<tagEventInfo>(), &info, *fields, "event " + *id);
        info.stRecurrence.ePattern = enumRecurrencePattern_None;
        info.stRecurrence.eEnd = enumRecurrenceEnd_None;
        info.dtOriginalStartTime = occurrence->start;
        info.dtStartDateTime = occurrence->start;
        info.dtEndDateTime = occurrence->end;
        fields->apply(&info);
        times->apply(&info, false);
        CheckDates(info);
        CheckCategoryOf(ctx, *fields);
        LONG err = 0;
        Bstr exceptionId;
        Check(events->AddException(&err, Bstr::FromUtf8(*id), &info, &exceptionId), err, "cannot add the exception");
        ctx.out().done("added exception " + exceptionId.utf8() + " to event " + *id + " for " + FormatIsoDay(when),
                       Json{{"exception_id", exceptionId.utf8()}, {"event_id", *id}});
    });
}

}  // namespace

void AddEventCommands(CLI::App& app, CommandContext& ctx) {
    auto* events = app.add_subcommand("events", "Calendar events, their repetitions and exceptions");
    events->require_subcommand(1);
    AddList(events, ctx);
    AddShow(events, ctx);
    AddAdd(events, ctx);
    AddEdit(events, ctx);
    AddRemove(events, ctx);
    AddExceptions(events, ctx);
}

}  // namespace calyra::cli
