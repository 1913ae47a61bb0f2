// tasks list|show|add|edit|done|rm
#include <utility>

#include "commands/recurrence_options.h"
#include "idl/owned_record.h"
#include "import_export/conversions.h"
#include "platform/bstr.h"
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

const std::vector<std::string> kTaskColumns{"task_id",  "subject",       "task_status", "complete_percent",
                                            "end_date", "task_priority", "recurrence"};
const std::vector<std::string> kNotOptions{"task_id", "created", "modified"};

Json TaskJson(const tagTaskInfo& task) {
    Json out = ToJson(task);
    out["recurrence_text"] = DescribeRecurrence(task.stRecurrence);
    return out;
}

// Every task of the profile, in the order they were created.
Json AllTasks(ITaskAccess* tasks) {
    LONG err = 0, count = 0;
    OwnedRecordArray<tagTaskInfo> all;
    Check(tasks->GetAllTasks(&err, &count, &all), err, "cannot list the tasks");
    Json out = Json::array();
    for (const auto& t : all) out.push_back(TaskJson(t));
    return out;
}

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

void Modify(ITaskAccess* tasks, const std::string& id, tagTaskInfo* task) {
    LONG err = 0;
    Check(tasks->ModifyTaskByID(&err, Bstr::FromUtf8(id), task), err, "cannot change task " + id);
}

}  // namespace

void AddTaskCommands(CLI::App& app, CommandContext& ctx) {
    auto* group = app.add_subcommand("tasks", "To-do tasks");
    group->require_subcommand(1);

    auto* list = group->add_subcommand("list", "List the tasks in the order they were created");
    auto open = std::make_shared<bool>(false);
    list->add_flag("--open", *open, "Only tasks not finished");
    ctx.bind(list, [&ctx, open] {
        Json shown = Json::array();
        for (auto& t : AllTasks(ctx.session().access<ITaskAccess>().get()))
            if (!*open || t["task_status"] != "finished") shown.push_back(std::move(t));
        if (ctx.out().json()) return ctx.out().list(shown);
        for (auto& t : shown) t["recurrence"] = t["recurrence_text"];
        ctx.out().list(shown, kTaskColumns);
    });

    auto* show = group->add_subcommand("show", "Show every field of a task");
    auto showId = std::make_shared<std::string>();
    show->add_option("id", *showId, "Task ID")->required();
    ctx.bind(show, [&ctx, showId] {
        Json task = ReadTask(ctx.session().access<ITaskAccess>().get(), CheckedId(*showId, "task"));
        if (!ctx.out().json()) {
            task["recurrence"] = task["recurrence_text"];
            task.erase("recurrence_text");
        }
        ctx.out().object(task);
    });

    auto* add = group->add_subcommand("add", "Add a task");
    auto addFields = std::make_shared<RecordOptions>(add, std::type_identity<tagTaskInfo>{}, kNotOptions);
    add->get_option("--subject")->required();
    auto addRepeat = std::make_shared<RecurrenceOptions>(add);
    ctx.bind(add, [&ctx, addFields, addRepeat] {
        OwnedRecord<tagTaskInfo> task;
        task.eTaskPriority = enumTaskPriority_Normal;  // the zero record's priority is "low"
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
    ctx.bind(edit, [&ctx, editId, editFields, editRepeat] {
        CheckedId(*editId, "task");
        if (editFields->given() == 0 && !editRepeat->given())
            throw ClientError("nothing to change (see tasks edit --help)", 2);
        auto tasks = ctx.session().access<ITaskAccess>();
        OwnedRecord<tagTaskInfo> task;
        ReadTask(tasks.get(), *editId, &task);
        RefuseCutTexts(RecordDescriptionOf<tagTaskInfo>(), &task, *editFields, "task " + *editId);
        editFields->apply(&task);
        ApplyRecurrence(*editRepeat, &task);
        CheckDates(task);
        Modify(tasks.get(), *editId, &task);
        ctx.out().done("changed task " + *editId, Json{{"task_id", *editId}});
    });

    auto* done = group->add_subcommand("done", "Mark a task finished: 100 percent, completed now");
    auto doneId = std::make_shared<std::string>();
    done->add_option("id", *doneId, "Task ID")->required();
    ctx.bind(done, [&ctx, doneId] {
        CheckedId(*doneId, "task");
        auto tasks = ctx.session().access<ITaskAccess>();
        OwnedRecord<tagTaskInfo> task;
        ReadTask(tasks.get(), *doneId, &task);
        RefuseCutTexts(
            RecordDescriptionOf<tagTaskInfo>(), &task, [](const std::string&) { return false; }, "task " + *doneId);
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
    ctx.bind(rm, [&ctx, rmId] {
        CheckedId(*rmId, "task");
        auto tasks = ctx.session().access<ITaskAccess>();
        ReadTask(tasks.get(), *rmId);
        LONG err = 0;
        Check(tasks->DeleteTaskByID(&err, Bstr::FromUtf8(*rmId)), err, "cannot delete task " + *rmId);
        ctx.out().done("deleted task " + *rmId, Json{{"task_id", *rmId}});
    });
}

}  // namespace calyra::cli
