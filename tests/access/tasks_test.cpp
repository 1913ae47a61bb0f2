// Tasks through ITaskAccess: creation order, and which operations reach
// tasks of other profiles. Whole records are checked with every family in
// record_families_test.cpp, the statements in calendar_statements_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/tasks/task_access.h"
#include "support/pim_fixture.h"
#include "support/test_values.h"

namespace calyra::test {
namespace {

using Subjects = std::vector<std::string>;

std::string AddTask(ITaskAccess* tasks, const char16_t* subject) {
    tagTaskInfo info{};
    Bstr s(subject), id;
    info.bstrSubject = s;
    EXPECT_EQ(tasks->AddTask(nullptr, &info, &id), S_OK);
    return id.utf8();
}

Subjects AllSubjects(ITaskAccess* tasks) {
    RecordArray<tagTaskInfo> all;
    LONG n = -1;
    EXPECT_EQ(tasks->GetAllTasks(nullptr, &n, &all), S_OK);
    Subjects out;
    for (LONG i = 0; i < n; ++i) out.push_back(Text(all[i].bstrSubject));
    return out;
}

TEST(TaskOrder, ListsAndTheCacheFollowCreationTimeNotInsertionOrID) {
    PimDatabase db;
    auto tasks = db.Create<CTaskAccess, ITaskAccess>();
    const char* created[] = {"2020-01-03 00:00:00", "2020-01-02 00:00:00", "2019-12-31 23:59:59"};
    std::string last;
    for (const char16_t* subject : {u"a", u"b", u"c"}) {
        last = AddTask(tasks.get(), subject);
        db.Exec(u"UPDATE [tTask] SET [Created] = '" + Utf8ToUtf16(created[subject[0] - u'a']) +
                u"' WHERE [TaskID] = " + Utf8ToUtf16(last) + u";");
    }
    EXPECT_EQ(AllSubjects(tasks.get()), (Subjects{"c", "b", "a"}));
    LONG n = 0;
    ASSERT_EQ(tasks->GetNumOfTasks(nullptr, &n), S_OK);
    RecordHolder<tagTaskInfo> first;
    ASSERT_EQ(tasks->GetTaskByIndex(nullptr, 0, &first), S_OK);
    EXPECT_EQ(Text(first.bstrSubject), "c");

    tagTaskInfo renamed{};
    Bstr subject(u"c2");
    renamed.bstrSubject = subject;
    ASSERT_EQ(tasks->ModifyTaskByID(nullptr, Bstr::FromUtf8(last), &renamed), S_OK);
    EXPECT_EQ(AllSubjects(tasks.get()), (Subjects{"c2", "b", "a"})) << "a change moves [Modified] only";
}

TEST(TaskProfiles, WritesAndExistenceByIdReachAnyProfileButReadsDoNot) {
    PimDatabase db;
    auto mine = db.Create<CTaskAccess, ITaskAccess>(u"1");
    auto theirs = db.Create<CTaskAccess, ITaskAccess>(u"2");
    AddTask(mine.get(), u"mine");
    const Bstr a = Bstr::FromUtf8(AddTask(theirs.get(), u"theirs a"));
    const Bstr b = Bstr::FromUtf8(AddTask(theirs.get(), u"theirs b"));
    EXPECT_EQ(AllSubjects(mine.get()), Subjects{"mine"});

    VARIANT_BOOL found = VARIANT_FALSE;
    ASSERT_EQ(mine->ExistTask(nullptr, a, &found), S_OK);
    EXPECT_EQ(found, VARIANT_TRUE);
    RecordHolder<tagTaskInfo> got;
    got.lReminderTime = 77;
    LONG err = kUntouched;
    EXPECT_EQ(mine->GetTaskByID(&err, a, &got), E_UNEXPECTED) << "reads stay in the profile";
    EXPECT_EQ(err, kUntouched) << "finding nothing is not reported";
    EXPECT_EQ(got.lReminderTime, 77) << "the record is not touched";

    tagTaskInfo changed{};
    Bstr subject(u"changed");
    changed.bstrSubject = subject;
    ASSERT_EQ(mine->ModifyTaskByID(nullptr, a, &changed), S_OK);
    ASSERT_EQ(mine->DeleteTaskByID(nullptr, b), S_OK);
    EXPECT_EQ(AllSubjects(theirs.get()), Subjects{"changed"}) << "the change keeps the task in its profile";
    ASSERT_EQ(mine->DeleteAllTasks(nullptr), S_OK);
    EXPECT_EQ(AllSubjects(theirs.get()).size(), 1u) << "deleting all stays in the profile";
}

}  // namespace
}  // namespace calyra::test
