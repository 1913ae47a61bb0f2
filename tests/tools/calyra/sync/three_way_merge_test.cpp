#include <gtest/gtest.h>

#include "sync/three_way_merge.h"

namespace calyra::sync {
namespace {

std::string Card(const std::string& body) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:u1\r\n" + body + "END:VCARD\r\n";
}

TEST(ThreeWayMerge, EachSidesOwnChangesAreKeptAndSameFieldEditsFollowThePreference) {
    const std::string base = Card("FN:Ada\r\nTEL:111\r\nEMAIL:a@x\r\nX-LABEL:keep\r\n");
    struct Case {
        const char* what;
        std::string local, remote;
        Prefer prefer;
        std::vector<std::string> present, absent, conflicts;
    } cases[] = {
        {"disjoint edits merge",
         Card("FN:Ada\r\nTEL:222\r\nEMAIL:a@x\r\nX-LABEL:keep\r\n"),
         Card("FN:Ada L.\r\nTEL:111\r\nEMAIL:a@x\r\nX-LABEL:keep\r\n"),
         Prefer::Remote,
         {"TEL:222", "FN:Ada L.", "X-LABEL:keep"},
         {"TEL:111", "FN:Ada\r\n"},
         {}},
        {"same edit on both sides is no conflict",
         Card("FN:Ada\r\nTEL:333\r\nEMAIL:a@x\r\nX-LABEL:keep\r\n"),
         Card("FN:Ada\r\nTEL:333\r\nEMAIL:a@x\r\nX-LABEL:keep\r\n"),
         Prefer::Local,
         {"TEL:333"},
         {},
         {}},
        {"conflict, remote wins",
         Card("FN:Ada\r\nTEL:444\r\nEMAIL:a@x\r\nX-LABEL:keep\r\n"),
         Card("FN:Ada\r\nTEL:555\r\nEMAIL:a@x\r\nX-LABEL:keep\r\n"),
         Prefer::Remote,
         {"TEL:555"},
         {"TEL:444"},
         {"VCARD/TEL"}},
        {"conflict, local wins",
         Card("FN:Ada\r\nTEL:444\r\nEMAIL:a@x\r\nX-LABEL:keep\r\n"),
         Card("FN:Ada\r\nTEL:555\r\nEMAIL:a@x\r\nX-LABEL:keep\r\n"),
         Prefer::Local,
         {"TEL:444"},
         {"TEL:555"},
         {"VCARD/TEL"}},
        {"a removal on one side stays removed",
         Card("FN:Ada\r\nTEL:111\r\nX-LABEL:keep\r\n"),
         Card("FN:Ada\r\nTEL:111\r\nEMAIL:a@x\r\nX-LABEL:keep\r\nNOTE:new\r\n"),
         Prefer::Remote,
         {"NOTE:new", "X-LABEL:keep"},
         {"EMAIL:"},
         {}},
        {"stamps never conflict",
         Card("FN:Ada\r\nTEL:111\r\nEMAIL:a@x\r\nX-LABEL:keep\r\nREV:1\r\n"),
         Card("FN:Ada\r\nTEL:111\r\nEMAIL:a@x\r\nX-LABEL:keep\r\nREV:2\r\n"),
         Prefer::Remote,
         {"REV:2"},
         {"REV:1"},
         {}},
    };
    for (const Case& c : cases) {
        const MergeResult m = MergeThreeWay(base, c.local, c.remote, c.prefer);
        for (const auto& p : c.present) EXPECT_NE(m.text.find(p), std::string::npos) << c.what << ": " << m.text;
        for (const auto& a : c.absent) EXPECT_EQ(m.text.find(a), std::string::npos) << c.what << ": " << m.text;
        EXPECT_EQ(m.conflicts, c.conflicts) << c.what;
        EXPECT_TRUE(m.text.starts_with("BEGIN:VCARD\r\n") && m.text.ends_with("END:VCARD\r\n")) << c.what;
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
