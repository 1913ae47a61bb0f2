// tasks list|show|add|edit|done|rm
#include <algorithm>
#include <utility>

#include "calendar/occurrences.h"
#include "calendar/zoned_text.h"
#include "cli/command_context.h"
#include "cli/record_edit.h"
#include "cli/record_options.h"
#include "cli/recurrence_options.h"
#include "commands/edit_in_editor.h"
#include "idl/owned_record.h"
#include "import_export/conversions.h"
#include "platform/bstr.h"
#include "records/record_fields.h"
#include "records/recurrence_record.h"
#include "records/text_limits.h"
#include "session/client_error.h"
#include "session/record_id.h"
#include "session/user_time.h"

namespace calyra::cli {

using namespace calendar;
namespace {

const std::vector<std::string> kTaskColumns{"task_id",  "subject",       "task_status", "complete_percent",
                                            "end_date", "task_priority", "recurrence"};
const std::vector<std::string> kNotOptions{"task_id", "created", "modified"};

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
        const auto when = ReadMoment(text, zone, now, &problem);
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

// A repeating task done once moves on to its next occurrence: its start
// and due date advance together, the series keeps its first day (so a
// count still counts from there) and the task is open again. False when
// the task does not repeat or its series has no further occurrence.
bool MoveToNextOccurrence(tagTaskInfo* task) {
    const DATE anchor = task->dtStartDate != 0 ? task->dtStartDate : task->dtEndDate;
    RecurrenceRule rule = ToRule(task->stRecurrence);
    if (rule.frequency == Frequency::None || anchor == 0 || !RuleProblem(rule).empty()) return false;
    if (rule.start == 0) rule.start = SeriesStartOf(anchor);
    CalendarEvent series;
    series.start = series.end = anchor;
    series.rule = rule;
    const long long from = DateToSeconds(anchor) + 1;
    // A year holds the next occurrence of most rules; rare ones (the 29th
    // of February every 4 years) need a longer look.
    for (long long years : {1, 9}) {
        const auto next =
            ExpandEvent(series, {}, SecondsToDate(from), SecondsToDate(from + years * 366 * kSecondsPerDay));
        if (next.empty()) continue;
        const long long shift = DateToSeconds(next.front().start) - DateToSeconds(anchor);
        for (DATE* date : {&task->dtStartDate, &task->dtEndDate})
            if (*date != 0) *date = SecondsToDate(DateToSeconds(*date) + shift);
        ToRecord(rule, &task->stRecurrence);
        task->eTaskStatus = enumTaskStatus_NotStarted;
        task->ulCompletePercent = 0;
        task->dtDateCompleted = 0;
        return true;
    }
    return false;
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

void Modify(ITaskAccess* tasks, const std::string& id, tagTaskInfo* task) {
    LONG err = 0;
    Check(tasks->ModifyTaskByID(&err, Bstr::FromUtf8(id), task), err, "cannot change task " + id);
}

}  // namespace

void AddTaskCommands(CLI::App& app, CommandContext& ctx) {
    auto* group = app.add_subcommand("tasks", "To-do tasks");
    group->require_subcommand(1);

    auto* list = group->add_subcommand("list", "List the tasks by due date (those without one last)");
    auto open = std::make_shared<bool>(false);
    auto overdue = std::make_shared<bool>(false);
    auto due = std::make_shared<std::string>();
    list->add_flag("--open", *open, "Only tasks not finished");
    list->add_flag("--overdue", *overdue, "Only open tasks whose due date has passed");
    list->add_option("--due", *due, "Only tasks due today, this week, or on a day (2027-03-05, fri, tomorrow)");
    ctx.bind(list, Access::Reads, [&ctx, open, overdue, due] {
        const UserClock clock(ctx);
        std::optional<std::pair<long long, long long>> days;
        if (!due->empty()) days = clock.dueDays(*due);
        std::vector<std::pair<const tagTaskInfo*, Json>> shown;
        OwnedRecordArray<tagTaskInfo> all;
        TaskRecords(ctx.session().access<ITaskAccess>().get(), all);
        for (const tagTaskInfo& t : all) {
            if (*open && t.eTaskStatus == enumTaskStatus_Finished) continue;
            if (*overdue && !clock.overdue(t)) continue;
            if (days &&
                (t.dtEndDate == 0 || clock.dayOf(t.dtEndDate) < days->first || clock.dayOf(t.dtEndDate) > days->second))
                continue;
            Json row = TaskJson(t);
            row["overdue"] = clock.overdue(t);
            shown.emplace_back(&t, std::move(row));
        }
        // By due date, those without one last; ties keep the created order.
        std::stable_sort(shown.begin(), shown.end(), [](const auto& a, const auto& b) {
            const DATE x = a.first->dtEndDate, y = b.first->dtEndDate;
            return x != 0 && (y == 0 || DateToSeconds(x) < DateToSeconds(y));
        });
        Json rows = Json::array();
        for (auto& [t, row] : shown) {
            if (!ctx.out().json()) {
                row["recurrence"] = row["recurrence_text"];
                row["end_date"] = clock.show(t->dtEndDate);
                if (row["overdue"] == true)
                    for (const char* key : {"subject", "end_date"})
                        row[key] = ctx.out().paint(row[key].get<std::string>(), Style::Overdue);
            }
            rows.push_back(std::move(row));
        }
        ctx.out().list(rows, ctx.out().json() ? std::vector<std::string>{} : kTaskColumns);
    });

    auto* show = group->add_subcommand("show", "Show every field of a task");
    auto showId = std::make_shared<std::string>();
    show->add_option("id", *showId, "Task ID")->required();
    ctx.bind(show, Access::Reads, [&ctx, showId] {
        OwnedRecord<tagTaskInfo> record;
        Json task = ReadTask(ctx.session().access<ITaskAccess>().get(), CheckedId(*showId, "task"), &record);
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
        ctx.out().object(task);
    });

    auto* add = group->add_subcommand("add", "Add a task");
    auto addFields = std::make_shared<RecordOptions>(add, std::type_identity<tagTaskInfo>{}, kNotOptions);
    add->get_option("--subject")->required();
    auto addRepeat = std::make_shared<RecurrenceOptions>(add);
    ctx.bind(add, Access::Writes, [&ctx, addFields, addRepeat] {
        OwnedRecord<tagTaskInfo> task;
        task.eTaskPriority = enumTaskPriority_Normal;  // the zero record's priority is "low"
        CheckPercent(*addFields);
        addFields->apply(&task);
        ApplyRecurrence(*addRepeat, &task);
        CheckDates(task);
        LONG err = 0;
        Bstr id;
        Check(ctx.session().access<ITaskAccess>()->AddTask(&err, &task, &id), err, "cannot add the task");
        ctx.out().done("added task " + id.utf8() + " (" + BstrUtf8(task.bstrSubject) + ")",
                       Json{{"task_id", id.utf8()}});
    });

    auto* edit = group->add_subcommand("edit", "Change a task's fields (the others keep their values)");
    auto editId = std::make_shared<std::string>();
    edit->add_option("id", *editId, "Task ID")->required();
    auto editFields = std::make_shared<RecordOptions>(edit, std::type_identity<tagTaskInfo>{}, kNotOptions);
    auto editRepeat = std::make_shared<RecurrenceOptions>(edit);
    auto editor = AddEditorFlag(edit, EditorKind::Task);
    ctx.bind(edit, Access::Writes, [&ctx, editId, editFields, editRepeat, editor] {
        CheckedId(*editId, "task");
        if (EditIfAsked(ctx, *editId, *editor, editFields->given() > 0 || editRepeat->given(), EditorKind::Task))
            return;
        ComPtr<ITaskAccess> tasks;
        EditRecord<tagTaskInfo>({
            "tasks edit",
            "task",
            editFields->given() > 0 || editRepeat->given(),
            [&] {
                CheckPercent(*editFields);
                OwnedRecord<tagTaskInfo> probe;
                editFields->apply(&probe);
            },
            [&](OwnedRecord<tagTaskInfo>* task) {
                tasks = ctx.session().access<ITaskAccess>();
                ReadTask(tasks.get(), *editId, task);
                return *editId;
            },
            [&](const std::string& key) { return editFields->value(key) != nullptr; },
            [&](tagTaskInfo* task) {
                editFields->apply(task);
                ApplyRecurrence(*editRepeat, task);
            },
            [&](const std::string& id, tagTaskInfo* task) {
                CheckDates(*task);
                Modify(tasks.get(), id, task);
            },
            [&](const std::string& id, const tagTaskInfo&) {
                ctx.out().done("changed task " + id, Json{{"task_id", id}});
            },
        });
    });

    auto* done = group->add_subcommand(
        "done", "Mark a task finished (100 percent, completed now); a repeating task moves to its next occurrence");
    auto doneId = std::make_shared<std::string>();
    auto doneAll = std::make_shared<bool>(false);
    done->add_option("id", *doneId, "Task ID")->required();
    done->add_flag("--all", *doneAll, "Finish a repeating task's whole series");
    ctx.bind(done, Access::Writes, [&ctx, doneId, doneAll] {
        CheckedId(*doneId, "task");
        auto tasks = ctx.session().access<ITaskAccess>();
        OwnedRecord<tagTaskInfo> task;
        ReadTask(tasks.get(), *doneId, &task);
        RefuseCutTexts(
            RecordDescriptionOf<tagTaskInfo>(), &task, [](const std::string&) { return false; }, "task " + *doneId);
        if (!*doneAll && MoveToNextOccurrence(&task)) {
            Modify(tasks.get(), *doneId, &task);
            const UserClock clock(ctx);
            const DATE next = task.dtEndDate != 0 ? task.dtEndDate : task.dtStartDate;
            ctx.out().done("task " + *doneId + " done this time; next due " + clock.show(next),
                           Json{{"task_id", *doneId},
                                {"start_date", task.dtStartDate == 0 ? Json() : Json(FormatIsoDate(task.dtStartDate))},
                                {"end_date", task.dtEndDate == 0 ? Json() : Json(FormatIsoDate(task.dtEndDate))}});
            return;
        }
        task.eTaskStatus = enumTaskStatus_Finished;
        task.ulCompletePercent = 100;
        task.dtDateCompleted = ParseIsoDate("now");
        Modify(tasks.get(), *doneId, &task);
        ctx.out().done("finished task " + *doneId,
                       Json{{"task_id", *doneId}, {"date_completed", FormatIsoDate(task.dtDateCompleted)}});
    });

    auto* rm = group->add_subcommand("rm", "Delete a task");
    auto rmId = std::make_shared<std::string>();
    rm->add_option("id", *rmId, "Task ID")->required();
    ctx.bind(rm, Access::Writes, [&ctx, rmId] {
        CheckedId(*rmId, "task");
        auto tasks = ctx.session().access<ITaskAccess>();
        ReadTask(tasks.get(), *rmId);
        LONG err = 0;
        Check(tasks->DeleteTaskByID(&err, Bstr::FromUtf8(*rmId)), err, "cannot delete task " + *rmId);
        ctx.out().done("deleted task " + *rmId, Json{{"task_id", *rmId}});
    });
}

}  // namespace calyra::cli
