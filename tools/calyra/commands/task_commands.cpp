// tasks list|show|add|edit|done|rm
#include <algorithm>
#include <optional>
#include <utility>

#include "calendar/occurrences.h"
#include "calendar/zoned_text.h"
#include "cli/command_context.h"
#include "cli/record_commands.h"
#include "cli/record_edit.h"
#include "cli/record_options.h"
#include "cli/recurrence_options.h"
#include "cli/shown_values.h"
#include "commands/edit_in_editor.h"
#include "idl/owned_record.h"
#include "import_export/calendar_items.h"
#include "import_export/conversions.h"
#include "import_export/side_rows.h"
#include "platform/bstr.h"
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
namespace task_commands {

const std::vector<std::string> kTaskColumns{"task_id",  "subject",       "task_status", "complete_percent",
                                            "end_date", "task_priority", "recurrence"};
const std::vector<std::string> kNotOptions{"task_id", "created", "modified", "start_date", "end_date"};

Json TaskJson(const tagTaskInfo& task) {
    Json out = ToJson(task);
    out["recurrence_text"] = DescribeRecurrence(task.stRecurrence);
    return out;
}

// Every task of the profile, in the order they were created.
void TaskRecords(ITaskAccess* tasks, OwnedRecordArray<tagTaskInfo>& all) {
    LONG err = 0, count = 0;
    Check(tasks->GetAllTasks(&err, &count, &all), err, "cannot list the tasks");
}

Json AllTasks(ITaskAccess* tasks) {
    OwnedRecordArray<tagTaskInfo> all;
    TaskRecords(tasks, all);
    Json out = Json::array();
    for (const auto& t : all) out.push_back(TaskJson(t));
    return out;
}

// How the user reads dates: their zone and date style, and the moment now.
struct UserClock {
    TimeZone zone = TimeZone::Utc();
    DateStyle style = DateStyle::Iso;
    int weekStart = 1;  // 0 Sunday, 1 Monday
    DATE now = 0;

    explicit UserClock(const CommandContext& ctx) : now(ParseIsoDate("now")) {
        const std::string& name = ctx.settings.get("time_zone").value;
        // A $TZ that names no zone is said, as the calendar commands say it.
        if (const std::string problem = name.empty() ? SystemZoneProblem() : std::string(); !problem.empty())
            throw ClientError(problem + "; give --tz ZONE, or set time_zone in the config file ('calyra config')");
        zone = name.empty() ? SystemZone() : TimeZone::Find(name).value_or(SystemZone());
        style = DateStyleNamed(ctx.settings.get("date_format").value).value_or(DateStyle::Iso);
        weekStart = ctx.settings.get("week_start").value == "sun" ? 0 : 1;
    }

    // A task's dates are days when they lie on a UTC midnight (what
    // --end-date 2027-03-05 stores, and what a calendar's DATE value
    // imports as): the same day everywhere. Other dates are moments, seen
    // in the user's zone.
    static bool IsDay(DATE date) { return SecondOfDay(DateToSeconds(date)) == 0; }
    long long dayOf(DATE date) const { return DayOfDate(IsDay(date) ? date : zone.toLocal(date)); }
    std::string show(DATE date) const {
        if (date == 0) return "";
        return IsDay(date) ? FormatLocalDay(date, TimeZone::Utc(), style) : FormatLocal(date, zone, style);
    }
    long long today() const { return DayOfDate(zone.toLocal(now)); }

    // A task is overdue when it is open and its due day has passed (a day)
    // or its due moment has (a moment).
    bool overdue(const tagTaskInfo& t) const {
        if (t.dtEndDate == 0 || t.eTaskStatus == enumTaskStatus_Finished) return false;
        return IsDay(t.dtEndDate) ? dayOf(t.dtEndDate) < today() : DateToSeconds(t.dtEndDate) < DateToSeconds(now);
    }

    // The days --due names: today, this week (from the user's first day of
    // the week) or the day of a typed date.
    std::pair<long long, long long> dueDays(const std::string& text) const {
        const long long day = today();
        if (text == "today") return {day, day};
        if (text == "week") {
            const long long first = day - (WeekdayOfDay(day) - weekStart + 7) % 7;
            return {first, first + 6};
        }
        std::string problem;
        const auto when = ReadMoment(text, zone, now, &problem, style);
        if (!when) throw ClientError("--due " + text + ": " + problem + "; --due also takes today or week", 2);
        const long long typed = DayOfDate(zone.toLocal(when->date));
        return {typed, typed};
    }
};

// Task `id` of the profile, as JSON and as a record to change.
Json ReadTask(ITaskAccess* tasks, const std::string& id, OwnedRecord<tagTaskInfo>* info = nullptr) {
    for (const auto& t : AllTasks(tasks)) {
        if (t["task_id"] != id) continue;
        if (info)
            for (const auto& f : FieldsOf(RecordDescriptionOf<tagTaskInfo>())) SetFieldFromJson(f, info, t[f.key]);
        return t;
    }
    throw ClientError("no task " + id);
}

// A repeating task's series begins with its start date, else its due date.
void ApplyRecurrence(const RecurrenceOptions& repeat, tagTaskInfo* task) {
    if (!repeat.given()) return;
    const DATE anchor = task->dtStartDate != 0 ? task->dtStartDate : task->dtEndDate;
    RecurrenceRule rule = ToRule(task->stRecurrence);
    repeat.apply(&rule, anchor);
    if (rule.frequency != Frequency::None && anchor == 0)
        throw ClientError("a repeating task needs --start-date or --end-date", 2);
    ToRecord(rule, &task->stRecurrence);
}

// Every date of the task must be one the file and an iCalendar export can
// hold; else the command is refused before anything is written.
void CheckDates(const tagTaskInfo& task) {
    const std::pair<const char*, DATE> dates[] = {{"--start-date", task.dtStartDate},
                                                  {"--end-date", task.dtEndDate},
                                                  {"--date-completed", task.dtDateCompleted},
                                                  {"--until", task.stRecurrence.lEndBy}};
    for (const auto& [what, date] : dates)
        if (std::string why = date == 0 ? "" : DateRangeProblem(date); !why.empty())
            throw ClientError(std::string(what) + " " + FormatIsoDate(date) + ": " + why, 2);
}

// --complete-percent is a share: 0 to 100.
void CheckPercent(const RecordOptions& fields) {
    const std::string* text = fields.value("complete_percent");
    if (!text) return;
    const bool digits = !text->empty() && text->size() <= 3 &&
                        std::all_of(text->begin(), text->end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || std::stoi(*text) > 100)
        throw ClientError("--complete-percent " + *text + ": give a number from 0 to 100, e.g. --complete-percent 40",
                          2);
}

// Every change of a stored task passes here; its side row follows it.
void Modify(Session& session, ITaskAccess* tasks, const std::string& id, tagTaskInfo* task) {
    LONG err = 0;
    Check(tasks->ModifyTaskByID(&err, Bstr::FromUtf8(id), task), err, "cannot change task " + id);
    KeepSideRowCurrent(session, ItemFamily::Task, id);
}

const std::vector<std::string>& TaskColumns() { return kTaskColumns; }
std::vector<std::string> TaskFields() {
    return ListOptions::KeysOf(RecordDescriptionOf<tagTaskInfo>(), {"recurrence", "recurrence_text", "overdue"});
}

Json FindTask(CommandContext& ctx, const std::string& id) {
    return ReadTask(ctx.session().access<ITaskAccess>().get(), id);
}

Json ShowTask(CommandContext& ctx, const Json& found) {
    OwnedRecord<tagTaskInfo> record;
    for (const auto& f : FieldsOf(RecordDescriptionOf<tagTaskInfo>())) SetFieldFromJson(f, &record, found[f.key]);
    Json task = found;
    const UserClock clock(ctx);
    task["overdue"] = clock.overdue(record);
    if (!ctx.out().json()) {
        task["recurrence"] = task["recurrence_text"];
        task.erase("recurrence_text");
        for (const auto& [key, date] : {std::pair{"start_date", record.dtStartDate},
                                        {"end_date", record.dtEndDate},
                                        {"date_completed", record.dtDateCompleted}})
            task[key] = clock.show(date);
    }
    if (ctx.out().forPeople()) task["reminder_time"] = ReminderText(record.lReminderTime, "the due date");
    return task;
}

std::string TaskLabel(const Json& task) { return JsonText(task["task_id"]); }

void RemoveTask(CommandContext& ctx, Transaction&, const std::string& id) {
    LONG err = 0;
    Check(ctx.session().access<ITaskAccess>()->DeleteTaskByID(&err, Bstr::FromUtf8(id)), err,
          "cannot delete task " + id);
}

Json TaskRows(CommandContext& ctx);

constexpr RecordFamily kTasks{
    "task",     "task_id",   "task_ids", "id",     "Task ID", "ids",   "Task IDs", false,
    TaskFields, TaskColumns, TaskRows,   FindTask, ShowTask,  nullptr, nullptr,    RemoveTask,
};

struct ListFilter {
    bool open = false;
    bool overdue = false;
    std::string due;
    std::optional<SearchWords> words;  // tasks find: every word in the subject or notes
};

struct ListCommandOptions {
    ListFilter filter;
    ListOptions shape;
};

void DeclareList(CLI::App& list, ListCommandOptions& o) {
    list.add_flag("--open", o.filter.open, "Only tasks not finished");
    list.add_flag("--overdue", o.filter.overdue, "Only open tasks whose due date has passed");
    list.add_option("--due", o.filter.due, "Only tasks due today, this week, or on a day (2027-03-05, fri, tomorrow)");
    o.shape.add(list, TaskFields(), kTaskColumns);
}

// The tasks `filter` keeps, by due date (those without one last; ties keep
// the created order), as JSON with "overdue".
Json FilteredTasks(CommandContext& ctx, const ListFilter& filter) {
    const UserClock clock(ctx);
    std::optional<std::pair<long long, long long>> days;
    if (!filter.due.empty()) days = clock.dueDays(filter.due);
    std::vector<std::pair<const tagTaskInfo*, Json>> shown;
    OwnedRecordArray<tagTaskInfo> all;
    TaskRecords(ctx.session().access<ITaskAccess>().get(), all);
    for (const tagTaskInfo& t : all) {
        if (filter.open && t.eTaskStatus == enumTaskStatus_Finished) continue;
        if (filter.overdue && !clock.overdue(t)) continue;
        if (filter.words && !filter.words->foundIn({BstrUtf8(t.bstrSubject), BstrUtf8(t.bstrDescription)})) continue;
        if (days &&
            (t.dtEndDate == 0 || clock.dayOf(t.dtEndDate) < days->first || clock.dayOf(t.dtEndDate) > days->second))
            continue;
        Json row = TaskJson(t);
        row["overdue"] = clock.overdue(t);
        shown.emplace_back(&t, std::move(row));
    }
    std::stable_sort(shown.begin(), shown.end(), [](const auto& a, const auto& b) {
        const DATE x = a.first->dtEndDate, y = b.first->dtEndDate;
        return x != 0 && (y == 0 || DateToSeconds(x) < DateToSeconds(y));
    });
    Json rows = Json::array();
    for (auto& [t, row] : shown) rows.push_back(std::move(row));
    return rows;
}

// A task row as people read it: the due date in their zone and style, the
// repetition in words, an overdue task painted.
Json TaskForPeople(const Json& task, const UserClock& clock, const Output& out) {
    Json row = task;
    row["recurrence"] = row["recurrence_text"];
    const auto due = task["end_date"].is_string() ? TryParseIsoDate(task["end_date"].get<std::string>()) : std::nullopt;
    row["end_date"] = clock.show(due.value_or(0));
    if (row["overdue"] == true)
        for (const char* key : {"subject", "end_date"}) row[key] = out.paint(JsonText(row[key]), Style::Overdue);
    return row;
}

Json TaskRows(CommandContext& ctx) { return FilteredTasks(ctx, {}); }

void RunList(CommandContext& ctx, const ListCommandOptions& o) {
    const UserClock clock(ctx);
    o.shape.show(
        ctx.out(), FilteredTasks(ctx, o.filter),
        [&](const Json& task) { return TaskForPeople(task, clock, ctx.out()); }, kTaskColumns);
}

struct FindOptions {
    std::string text;
};

void DeclareFind(CLI::App& find, FindOptions& o) { find.add_option("text", o.text, "What to look for")->required(); }

void RunFind(CommandContext& ctx, const FindOptions& o) {
    ListFilter filter;
    filter.words.emplace(o.text);
    if (filter.words->empty()) throw ClientError("tasks find: give a text to look for", 2);
    ctx.out().list(FilteredTasks(ctx, filter), ctx.out().json() ? std::vector<std::string>{} : kTaskColumns);
}

// A task's start and due dates, typed as event dates are: in the user's
// zone, as people write them. A bare day is stored as that day (its UTC
// midnight, the same day everywhere); a day with a time is that moment.
struct TaskDates {
    std::string start, end;
    size_t given() const { return (start.empty() ? 0 : 1) + (end.empty() ? 0 : 1); }
};

void DeclareTaskDates(CLI::App& command, TaskDates& dates) {
    const std::string help =
        " in your time zone: 2027-03-05, \"2027-03-05 10:00\", \"fri 14:30\", tomorrow; none clears";
    command.add_option("--start-date", dates.start, "When work on the task starts," + help);
    command.add_option("--end-date,--due", dates.end, "When the task is due," + help);
}

// Reads the typed dates (refused with exit 2 when unreadable) into `task`.
void ApplyTaskDates(const CommandContext& ctx, const TaskDates& dates, tagTaskInfo* task) {
    const UserClock clock(ctx);
    const std::pair<const char*, std::pair<const std::string*, DATE*>> fields[] = {
        {"--start-date", {&dates.start, &task->dtStartDate}}, {"--end-date", {&dates.end, &task->dtEndDate}}};
    for (const auto& [name, field] : fields) {
        const std::string& text = *field.first;
        if (text.empty()) continue;
        if (text == "none") {
            *field.second = 0;
            continue;
        }
        std::string problem;
        const auto when = ParseWhen(text, clock.zone.toLocal(clock.now), &problem);
        if (!when) throw ClientError(std::string(name) + " " + text + ": " + problem, 2);
        // A day without a time ("2027-03-05", "fri") names the day itself.
        const bool day = !when->utc && !when->hasTime;
        const long long wall = DateToSeconds(when->date);
        *field.second = day         ? SecondsToDate(DayOfSeconds(wall) * kSecondsPerDay)
                        : when->utc ? when->date
                                    : clock.zone.toUtc(when->date);
    }
}

struct AddOptions {
    RecordOptions fields;
    TaskDates dates;
    RecurrenceOptions repeat;
};

void DeclareAdd(CLI::App& add, AddOptions& o) {
    o.fields.add(add, std::type_identity<tagTaskInfo>{}, kNotOptions);
    add.get_option("--subject")->required();
    DeclareTaskDates(add, o.dates);
    o.repeat.add(add);
}

void RunAdd(CommandContext& ctx, const AddOptions& o) {
    AddRecord<tagTaskInfo>(ctx, {
                                    kTasks,
                                    [&](tagTaskInfo* task) {
                                        task->eTaskPriority = enumTaskPriority_Normal;  // the zero record's is "low"
                                        CheckPercent(o.fields);
                                        o.fields.apply(task);
                                        ApplyTaskDates(ctx, o.dates, task);
                                        ApplyRecurrence(o.repeat, task);
                                        CheckDates(*task);
                                    },
                                    [&](tagTaskInfo* task) {
                                        LONG err = 0;
                                        Bstr id;
                                        Check(ctx.session().access<ITaskAccess>()->AddTask(&err, task, &id), err,
                                              "cannot add the task");
                                        return id.utf8();
                                    },
                                    [](const tagTaskInfo& task) { return BstrUtf8(task.bstrSubject); },
                                    nullptr,
                                });
}

struct EditOptions {
    std::string id;
    RecordOptions fields;
    TaskDates dates;
    RecurrenceOptions repeat;
    bool editor = false;
};

void DeclareEdit(CLI::App& edit, EditOptions& o) {
    edit.add_option("id", o.id, "Task ID")->required();
    o.fields.add(edit, std::type_identity<tagTaskInfo>{}, kNotOptions);
    DeclareTaskDates(edit, o.dates);
    o.repeat.add(edit);
    AddEditorFlag(edit, EditorKind::Task, o.editor);
}

void RunEdit(CommandContext& ctx, const EditOptions& o) {
    CheckedId(o.id, "task");
    const bool given = o.fields.given() > 0 || o.dates.given() > 0 || o.repeat.given();
    if (EditIfAsked(ctx, o.id, o.editor, given, EditorKind::Task)) return;
    ComPtr<ITaskAccess> tasks;
    EditRecord<tagTaskInfo>({
        "tasks edit",
        "task",
        given,
        [&] {
            CheckPercent(o.fields);
            OwnedRecord<tagTaskInfo> probe;
            o.fields.apply(&probe);
            ApplyTaskDates(ctx, o.dates, &probe);
        },
        [&](OwnedRecord<tagTaskInfo>* task) {
            tasks = ctx.session().access<ITaskAccess>();
            ReadTask(tasks.get(), o.id, task);
            return o.id;
        },
        [&](const std::string& key) {
            if (key == "start_date") return !o.dates.start.empty();
            if (key == "end_date") return !o.dates.end.empty();
            return o.fields.value(key) != nullptr;
        },
        [&](tagTaskInfo* task) {
            o.fields.apply(task);
            ApplyTaskDates(ctx, o.dates, task);
            ApplyRecurrence(o.repeat, task);
        },
        [&](const std::string& id, tagTaskInfo* task) {
            CheckDates(*task);
            Modify(ctx.session(), tasks.get(), id, task);
        },
        [&](const std::string& id, const tagTaskInfo&) {
            ctx.out().done("changed task " + id, Json{{"task_id", id}});
        },
    });
}

struct DoneOptions {
    std::string id;
    bool all = false;
};

void DeclareDone(CLI::App& done, DoneOptions& o) {
    done.add_option("id", o.id, "Task ID")->required();
    done.add_flag("--all", o.all, "Finish a repeating task's whole series");
}

void RunDone(CommandContext& ctx, const DoneOptions& o) {
    const std::string& id = CheckedId(o.id, "task");
    auto tasks = ctx.session().access<ITaskAccess>();
    OwnedRecord<tagTaskInfo> task;
    ReadTask(tasks.get(), id, &task);
    RefuseCutTexts(
        RecordDescriptionOf<tagTaskInfo>(), &task, [](const std::string&) { return false; }, "task " + id);
    if (!o.all && MoveTaskToNextOccurrence(ctx.session(), id, &task)) {
        Modify(ctx.session(), tasks.get(), id, &task);
        const UserClock clock(ctx);
        const DATE next = task.dtEndDate != 0 ? task.dtEndDate : task.dtStartDate;
        ctx.out().done("task " + id + " done this time; next due " + clock.show(next),
                       Json{{"task_id", id},
                            {"start_date", task.dtStartDate == 0 ? Json() : Json(FormatIsoDate(task.dtStartDate))},
                            {"end_date", task.dtEndDate == 0 ? Json() : Json(FormatIsoDate(task.dtEndDate))}});
        return;
    }
    task.eTaskStatus = enumTaskStatus_Finished;
    task.ulCompletePercent = 100;
    task.dtDateCompleted = ParseIsoDate("now");
    Modify(ctx.session(), tasks.get(), id, &task);
    ctx.out().done("finished task " + id,
                   Json{{"task_id", id}, {"date_completed", FormatIsoDate(task.dtDateCompleted)}});
}

constexpr CommandRow kTaskCommands[] = {
    Row<ListCommandOptions, DeclareList, RunList>("list", "List the tasks by due date (those without one last)",
                                                  Access::Reads),
    Row<FindOptions, DeclareFind, RunFind>(
        "find", "Find tasks by subject or notes (every word; case and accents ignored)", Access::Reads),
    ShowRow<kTasks>("Show every field of a task"),
    Row<AddOptions, DeclareAdd, RunAdd>("add", "Add a task", Access::Writes),
    Row<EditOptions, DeclareEdit, RunEdit>("edit", "Change a task's fields (the others keep their values)",
                                           Access::Writes),
    Row<DoneOptions, DeclareDone, RunDone>(
        "done", "Mark a task finished (100 percent, completed now); a repeating task moves to its next occurrence",
        Access::Writes),
    RmRow<kTasks>("Delete tasks (all or none)"),
};

}  // namespace task_commands

void AddTaskCommands(CLI::App& app, CommandContext& ctx) {
    AddGroup(app, ctx, {"tasks", "To-do tasks", nullptr, task_commands::kTaskCommands});
}

}  // namespace calyra::cli
