// Tasks through ITaskAccess: lists and the cache follow creation order.
// Whole records are checked with every family in record_families_test.cpp;
// the statements (and with them which operations reach other profiles) in
// calendar_statements_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/tasks/task_access.h"
#include "support/pim_fixture.h"

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
    return TextsOf(&tagTaskInfo::bstrSubject,
                   [&](LONG* n, SAFEARRAY** a) { return tasks->GetAllTasks(nullptr, n, a); });
}

TEST(TaskOrder, ListsAndTheCacheFollowCreationTimeNotInsertionOrID) {
    PimDatabase db;
    auto tasks = db.Create<CTaskAccess, ITaskAccess>();
    const char* created[] = {"2020-01-03 00:00:00", "2020-01-02 00:00:00", "2019-12-31 23:59:59"};
    std::string last;
    for (const char16_t* subject : {u"a", u"b", u"c"}) {
        last = AddTask(tasks.get(), subject);
        db.Exec(u"UPDATE [tTask] SET [Created] = '" + Utf8ToUtf16(created[subject[0] - u'a']) + u"' WHERE [TaskID] = " +
                Utf8ToUtf16(last) + u";");
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

}  // namespace
}  // namespace calyra::test
