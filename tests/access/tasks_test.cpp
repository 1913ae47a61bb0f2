// Tasks through ITaskAccess, as a client sees them: whole records with
// their recurrence rules, creation order, the [Created] and [Modified]
// stamps, the record cache, reading by ID, tasks of other profiles, bad
// arguments, a missing or closed database, and concurrent callers.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "access/tasks/task_access.h"
#include "core/value_conversions.h"
#include "support/error_calls.h"
#include "support/pim_fixture.h"
#include "support/test_values.h"
#include "support/record_compare.h"
#include "support/trace_recorder.h"

using calyra::Bstr;
using calyra::ComPtr;
using calyra::CTaskAccess;
using calyra::DateFromParts;
using calyra::test::kUntouched;
using calyra::test::ErrorCall;
using calyra::test::ExpectEachFails;
using calyra::test::NullErrorPointer;
using calyra::test::PimDatabase;
using calyra::test::Text;
using calyra::test::DateText;
using calyra::test::RecordArray;
using calyra::test::RecordHolder;
using calyra::test::SameRecord;

namespace {

// A task record with its texts kept alive beside it.
struct TaskInput {
    explicit TaskInput(const char16_t* subject) : subject(subject) { info.bstrSubject = this->subject; }
    Bstr subject;
    tagTaskInfo info{};
};

// A distinct value in every field: quotes, numbers outside the
// enumerations, negative numbers, all four pattern parts.
struct FullTask : TaskInput {
    FullTask() : TaskInput(u"Call 'Mum'") {
        info.bstrTaskID = ignoredId;  // the database assigns the ID
        info.eTaskStatus = enumTaskStatus_WaitingForInformation;
        info.ulCompletePercent = 0xFFFFFF9Cu;  // -100 as a signed number
        info.dtStartDate = DateFromParts(2021, 3, 4, 5, 6, 7);
        info.dtEndDate = DateFromParts(2021, 3, 5, 5, 6, 7);
        info.eTaskPriority = static_cast<enumTaskPriority>(17);
        info.bPrivate = 1;
        info.eTaskCategory = enumTaskCategory_PhoneCalls;
        info.bstrDescription = description;
        info.lReminderTime = -15;
        info.bstrReminderAudio = audio;
        info.dtDateCompleted = DateFromParts(2021, 3, 6, 0, 0, 1);
        tagRecurrence& r = info.stRecurrence;
        r.ePattern = static_cast<enumRecurrencePattern>(9);
        r.Daily = {-1, -2, -3};
        r.Weekly = {1, 2, 0x41, 4};
        r.Monthly = {5, 6, 7, 8, 9, 10, 11};
        r.Yearly = {12, 13, 14, 15, 16, 17, 18, 19};
        r.dtStart = DateFromParts(2021, 1, 1, 0, 0, 0);
        r.eEnd = enumRecurrenceEnd_EndBy;
        r.lEndAfter = 0;
        r.lEndBy = DateFromParts(2022, 1, 1, 12, 0, 0);
        info.dtCreated = 1.0;   // ignored: the database keeps the insert's time
        info.dtModified = 2.0;  // ignored: the database keeps the last write's time
    }
    Bstr ignoredId{u"999"}, description{u"first line\nsecond 'line'"}, audio{u"ring.wav"};
};

std::string AddTask(ITaskAccess* tasks, const TaskInput& t) {
    Bstr id;
    LONG err = kUntouched;
    EXPECT_EQ(tasks->AddTask(&err, const_cast<tagTaskInfo*>(&t.info), &id), S_OK);
    EXPECT_EQ(err, kUntouched);
    return id.utf8();
}

std::vector<std::string> AllSubjects(ITaskAccess* tasks) {
    RecordArray<tagTaskInfo> all;
    LONG n = -1;
    EXPECT_EQ(tasks->GetAllTasks(nullptr, &n, &all), S_OK);
    std::vector<std::string> out;
    for (LONG i = 0; i < n; ++i) out.push_back(Text(all[i].bstrSubject));
    return out;
}

std::vector<std::string> CachedSubjects(ITaskAccess* tasks) {
    LONG n = -1;
    EXPECT_EQ(tasks->GetNumOfTasks(nullptr, &n), S_OK);
    std::vector<std::string> out;
    for (LONG i = 0; i < n; ++i) {
        RecordHolder<tagTaskInfo> t;
        EXPECT_EQ(tasks->GetTaskByIndex(nullptr, i, &t), S_OK);
        out.push_back(Text(t.bstrSubject));
    }
    return out;
}

// ---- Records ------------------------------------------------------------------

TEST(TaskRecords, EveryFieldComesBackFromEveryRead) {
    PimDatabase db;
    auto tasks = db.Create<CTaskAccess, ITaskAccess>();
    FullTask t;
    const std::string before = DateText(calyra::GetNowDate());
    const std::string id = AddTask(tasks.get(), t);
    const std::string after = DateText(calyra::GetNowDate());
    EXPECT_NE(id, "999") << "the record's own ID is ignored";

    RecordArray<tagTaskInfo> all;
    LONG n = 0;
    ASSERT_EQ(tasks->GetAllTasks(nullptr, &n, &all), S_OK);
    ASSERT_EQ(n, 1);
    ASSERT_EQ(tasks->GetNumOfTasks(nullptr, &n), S_OK);
    ASSERT_EQ(n, 1);
    RecordHolder<tagTaskInfo> byIndex, byId;
    ASSERT_EQ(tasks->GetTaskByIndex(nullptr, 0, &byIndex), S_OK);
    ASSERT_EQ(tasks->GetTaskByID(nullptr, Bstr::FromUtf8(id), &byId), S_OK);
    for (const tagTaskInfo* got :
         {&all[0], static_cast<const tagTaskInfo*>(&byIndex), static_cast<const tagTaskInfo*>(&byId)}) {
        EXPECT_TRUE(SameRecord(t.info, *got, {"bstrTaskID", "dtCreated", "dtModified"}));
        EXPECT_EQ(Text(got->bstrTaskID), id);
        for (DATE stamp : {got->dtCreated, got->dtModified}) {
            const std::string text = DateText(stamp);
            EXPECT_TRUE(text >= before && text <= after) << text << " is not the time of the insert";
        }
    }
}

TEST(TaskRecords, SubjectIsRequiredToAddButMayBeEmptiedByModify) {
    PimDatabase db;
    auto tasks = db.Create<CTaskAccess, ITaskAccess>();
    TaskInput empty(u"");
    Bstr id;
    LONG err = kUntouched;
    EXPECT_EQ(tasks->AddTask(&err, &empty.info, &id), E_INVALIDARG);
    EXPECT_EQ(err, PIMERR_INVALID_ARGUMENT);
    const std::string added = AddTask(tasks.get(), TaskInput(u"named"));
    ASSERT_EQ(tasks->ModifyTaskByID(nullptr, Bstr::FromUtf8(added), &empty.info), S_OK);
    EXPECT_EQ(AllSubjects(tasks.get()), std::vector<std::string>{""});
}

// ---- Order and cache -----------------------------------------------------------------

TEST(TaskOrder, ListsFollowCreationTimeNotInsertionOrID) {
    PimDatabase db;
    auto tasks = db.Create<CTaskAccess, ITaskAccess>();
    const std::string a = AddTask(tasks.get(), TaskInput(u"a"));
    const std::string b = AddTask(tasks.get(), TaskInput(u"b"));
    const std::string c = AddTask(tasks.get(), TaskInput(u"c"));
    // Creation times a second or more apart, in the opposite order of the IDs.
    db.Exec(u"UPDATE [tTask] SET [Created] = '2020-01-03 00:00:00' WHERE [TaskID] = " + calyra::Utf8ToUtf16(a) + u";");
    db.Exec(u"UPDATE [tTask] SET [Created] = '2020-01-02 00:00:00' WHERE [TaskID] = " + calyra::Utf8ToUtf16(b) + u";");
    db.Exec(u"UPDATE [tTask] SET [Created] = '2019-12-31 23:59:59' WHERE [TaskID] = " + calyra::Utf8ToUtf16(c) + u";");
    const std::vector<std::string> oldestFirst = {"c", "b", "a"};
    EXPECT_EQ(AllSubjects(tasks.get()), oldestFirst);
    EXPECT_EQ(CachedSubjects(tasks.get()), oldestFirst);

    // A change moves [Modified] only, so the order stays.
    TaskInput renamed(u"c2");
    ASSERT_EQ(tasks->ModifyTaskByID(nullptr, Bstr::FromUtf8(c), &renamed.info), S_OK);
    EXPECT_EQ(AllSubjects(tasks.get()), (std::vector<std::string>{"c2", "b", "a"}));
}

// ---- Reading by ID and profiles -------------------------------------------------------

TEST(TaskProfiles, WritesAndExistenceByIdReachAnyProfileButReadsDoNot) {
    PimDatabase db;
    auto mine = db.Create<CTaskAccess, ITaskAccess>(u"1");
    auto theirs = db.Create<CTaskAccess, ITaskAccess>(u"2");
    AddTask(mine.get(), TaskInput(u"mine"));
    const std::string a = AddTask(theirs.get(), TaskInput(u"theirs a"));
    const std::string b = AddTask(theirs.get(), TaskInput(u"theirs b"));
    EXPECT_EQ(AllSubjects(mine.get()), std::vector<std::string>{"mine"});

    VARIANT_BOOL found = VARIANT_FALSE;
    ASSERT_EQ(mine->ExistTask(nullptr, Bstr::FromUtf8(a), &found), S_OK);
    EXPECT_EQ(found, VARIANT_TRUE);
    RecordHolder<tagTaskInfo> got;
    got.lReminderTime = 77;
    LONG err = kUntouched;
    EXPECT_EQ(mine->GetTaskByID(&err, Bstr::FromUtf8(a), &got), E_UNEXPECTED) << "reads stay in the profile";
    EXPECT_EQ(err, kUntouched) << "finding nothing is not reported";
    EXPECT_EQ(got.lReminderTime, 77) << "the record is not touched";

    TaskInput changed(u"changed by another profile");
    ASSERT_EQ(mine->ModifyTaskByID(nullptr, Bstr::FromUtf8(a), &changed.info), S_OK);
    ASSERT_EQ(mine->DeleteTaskByID(nullptr, Bstr::FromUtf8(b)), S_OK);
    EXPECT_EQ(AllSubjects(theirs.get()), std::vector<std::string>{"changed by another profile"});
    EXPECT_EQ(db.Value(u"SELECT [ProfileID] FROM [tTask] WHERE [TaskID] = " + calyra::Utf8ToUtf16(a) + u";"), "2")
        << "a change keeps the task's profile";

    ASSERT_EQ(mine->DeleteAllTasks(nullptr), S_OK);
    EXPECT_EQ(AllSubjects(mine.get()), std::vector<std::string>{});
    EXPECT_EQ(AllSubjects(theirs.get()).size(), 1u) << "deleting all stays in the profile";
    EXPECT_EQ(mine->DeleteAllTasks(nullptr), S_OK) << "nothing left to delete still succeeds";

    ASSERT_EQ(mine->ExistTask(nullptr, Bstr::FromUtf8(b), &found), S_OK);
    EXPECT_EQ(found, VARIANT_FALSE);
}

// ---- Arguments and connection -----------------------------------------------------------

TEST(TaskArguments, BadArgumentsReportInvalidArgumentAndWriteNothing) {
    PimDatabase db;
    auto tasks = db.Create<CTaskAccess, ITaskAccess>();
    TaskInput ok(u"ok");
    TaskInput noSubject(u"");
    noSubject.info.bstrSubject = nullptr;
    tagTaskInfo out{};
    Bstr id, empty(u""), one(u"1");
    LONG n = 5;
    VARIANT_BOOL found;
    const ErrorCall cases[] = {
        {"count without out-pointer", [&](LONG* e) { return tasks->GetNumOfTasks(e, nullptr); }},
        {"by index without record", [&](LONG* e) { return tasks->GetTaskByIndex(e, 0, nullptr); }},
        {"all without array", [&](LONG* e) { return tasks->GetAllTasks(e, &n, nullptr); }},
        {"add with NULL subject", [&](LONG* e) { return tasks->AddTask(e, &noSubject.info, &id); }},
        {"delete without ID", [&](LONG* e) { return tasks->DeleteTaskByID(e, nullptr); }},
        {"delete with empty ID", [&](LONG* e) { return tasks->DeleteTaskByID(e, empty); }},
        {"modify with empty ID", [&](LONG* e) { return tasks->ModifyTaskByID(e, empty, &ok.info); }},
        {"read without ID", [&](LONG* e) { return tasks->GetTaskByID(e, nullptr, &out); }},
        {"read without record", [&](LONG* e) { return tasks->GetTaskByID(e, one, nullptr); }},
        {"exists with empty ID", [&](LONG* e) { return tasks->ExistTask(e, empty, &found); }},
        {"exists without answer", [&](LONG* e) { return tasks->ExistTask(e, one, nullptr); }},
    };
    ExpectEachFails(cases, E_INVALIDARG, PIMERR_INVALID_ARGUMENT, NullErrorPointer::AlsoFails);
    EXPECT_EQ(n, 5);
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tTask];"), "0");
}

// ---- Concurrency -----------------------------------------------------------------------

}  // namespace
