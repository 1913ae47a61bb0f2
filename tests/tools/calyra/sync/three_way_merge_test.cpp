#include <gtest/gtest.h>

#include "sync/three_way_merge.h"

namespace calyra::sync {
namespace {

std::string Card(const std::string& body) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:u1\r\n" + body + "END:VCARD\r\n";
}

// Ada's card with that phone number, name and further lines.
const std::string kRest = "EMAIL:a@x\r\nX-LABEL:keep\r\n";
std::string Ada(const std::string& tel, const std::string& name = "Ada", const std::string& rest = kRest) {
    return Card("FN:" + name + "\r\nTEL:" + tel + "\r\n" + rest);
}

TEST(ThreeWayMerge, EachSidesOwnChangesAreKeptAndSameFieldEditsFollowThePreference) {
    // Local and remote changes to Ada("111"), the side preferred, the
    // merged card and whether TEL conflicted.
    const std::tuple<const char*, std::string, std::string, Prefer, std::string, bool> cases[] = {
        {"disjoint edits merge", Ada("222"), Ada("111", "Ada L."), Prefer::Remote, Ada("222", "Ada L."), false},
        {"same edit on both sides is no conflict", Ada("333"), Ada("333"), Prefer::Local, Ada("333"), false},
        {"conflict, remote wins", Ada("444"), Ada("555"), Prefer::Remote, Ada("555"), true},
        {"conflict, local wins", Ada("444"), Ada("555"), Prefer::Local, Ada("444"), true},
        {"a removal on one side stays removed", Ada("111", "Ada", "X-LABEL:keep\r\n"),
         Ada("111", "Ada", kRest + "NOTE:new\r\n"), Prefer::Remote, Ada("111", "Ada", "X-LABEL:keep\r\nNOTE:new\r\n"),
         false},
        {"stamps never conflict", Ada("111", "Ada", kRest + "REV:1\r\n"), Ada("111", "Ada", kRest + "REV:2\r\n"),
         Prefer::Remote, Ada("111", "Ada", kRest + "REV:2\r\n"), false},
    };
    for (const auto& [what, local, remote, prefer, merged, conflict] : cases) {
        const MergeResult m = MergeThreeWay(Ada("111"), local, remote, prefer);
        EXPECT_EQ(m.text, merged) << what;
        EXPECT_EQ(m.conflicts, conflict ? std::vector<std::string>{"VCARD/TEL"} : std::vector<std::string>{}) << what;
    }
}

TEST(ThreeWayMerge, ACardWithoutAUidLineIsStillTheSameCard) {
    const std::string original = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:g1\r\nTEL:1\r\nX-A:b\r\nEND:VCARD\r\n";
    const std::string storedBefore = "BEGIN:VCARD\r\nVERSION:3.0\r\nTEL:1\r\nEND:VCARD\r\n";
    const std::string storedNow = "BEGIN:VCARD\r\nVERSION:3.0\r\nTEL:2\r\nEND:VCARD\r\n";
    EXPECT_EQ(MergeThreeWay(storedBefore, storedNow, original, Prefer::Local).text,
              "BEGIN:VCARD\r\nVERSION:3.0\r\nTEL:2\r\nUID:g1\r\nX-A:b\r\nEND:VCARD\r\n");
}

TEST(ThreeWayMerge, OverridesAndFoldedLinesOfACalendarMergeByRecurrenceId) {
    auto cal = [](const std::string& master, const std::string& overrides) {
        return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:e1\r\nSUMMARY:" + master +
               "\r\nDESCRIPTION:a long\r\n  folded line\r\nRRULE:FREQ=WEEKLY\r\nEND:VEVENT\r\n" + overrides +
               "END:VCALENDAR\r\n";
    };
    const std::string moved =
        "BEGIN:VEVENT\r\nUID:e1\r\nRECURRENCE-ID:20260105T090000Z\r\nSUMMARY:Moved\r\nEND:VEVENT\r\n";
    // Local renamed the series; remote added an override.
    const MergeResult m = MergeThreeWay(cal("Standup", ""), cal("Daily", ""), cal("Standup", moved), Prefer::Remote);
    EXPECT_TRUE(m.conflicts.empty());
    EXPECT_NE(m.text.find("SUMMARY:Daily"), std::string::npos) << m.text;
    EXPECT_NE(m.text.find("RECURRENCE-ID:20260105T090000Z\r\nSUMMARY:Moved"), std::string::npos) << m.text;
    EXPECT_NE(m.text.find("DESCRIPTION:a long\r\n  folded line\r\n"), std::string::npos) << m.text;
    // Nothing changed anywhere: the text comes back byte for byte.
    EXPECT_EQ(MergeThreeWay(cal("S", moved), cal("S", moved), cal("S", moved), Prefer::Local).text, cal("S", moved));
}

}  // namespace
}  // namespace calyra::sync
