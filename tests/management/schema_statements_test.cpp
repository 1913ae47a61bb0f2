// The schema statement lists, compared byte for byte with the texts every
// database file holds.
#include "management/schema_statements.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/bstr.h"

namespace calyra::test {
extern const std::u16string_view kExpectedCreation[23];
extern const std::u16string_view kExpectedDrop[23];
}  // namespace calyra::test

namespace {

using calyra::test::kExpectedCreation;
using calyra::test::kExpectedDrop;

std::string Utf8(std::u16string_view text) { return calyra::Utf16ToUtf8(text); }

// Shows where two texts first differ, so a failure names the column.
std::string FirstDifference(std::u16string_view actual, std::u16string_view expected) {
    size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
    return "first difference at unit " + std::to_string(i) + ": got \"" + Utf8(actual.substr(i, 40)) +
           "\", expected \"" + Utf8(expected.substr(i, 40)) + "\"";
}

TEST(SchemaStatements, CreationListIsTheExactSchemaInOrder) {
    calyra::SchemaStatementList list = calyra::CreationStatements();
    ASSERT_EQ(list.size(), 23u) << "21 tables and 2 indexes";
    for (size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(list[i], kExpectedCreation[i])
            << "statement " << i << "\n" << FirstDifference(list[i], kExpectedCreation[i]);
}

TEST(SchemaStatements, DropListRemovesTheSameObjectsInOrder) {
    calyra::SchemaStatementList list = calyra::DropStatements();
    ASSERT_EQ(list.size(), 23u);
    for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(Utf8(list[i]), Utf8(kExpectedDrop[i])) << "statement " << i;
}

TEST(SchemaStatements, PragmaAndVersionLists) {
    calyra::SchemaStatementList pragmas = calyra::PragmaStatements();
    ASSERT_EQ(pragmas.size(), 3u);
    EXPECT_EQ(pragmas[0], u"PRAGMA case_sensitive_like = 1;");
    EXPECT_EQ(pragmas[1], u"PRAGMA synchronous = OFF;");
    EXPECT_EQ(pragmas[2], u"PRAGMA temp_store = MEMORY;");

    calyra::SchemaStatementList version = calyra::VersionStatements();
    ASSERT_EQ(version.size(), 1u);
    EXPECT_EQ(version[0], u"INSERT INTO [tVer] ([VerString]) VALUES('101111');");
    EXPECT_EQ(calyra::kSchemaVersion, u"101111");
}

TEST(SchemaStatements, SingleCreationStatementsByTableName) {
    // The upgrade steps pick these three out of the list.
    EXPECT_EQ(calyra::CreationStatementOf(u"tAlbum"), kExpectedCreation[1]);
    EXPECT_EQ(calyra::CreationStatementOf(u"tEvent"), kExpectedCreation[7]);
    EXPECT_EQ(calyra::CreationStatementOf(u"tFile"), kExpectedCreation[9]);
    EXPECT_EQ(calyra::CreationStatementOf(u"tMostFrequentlyPlayedPodcast"), kExpectedCreation[12]);
    EXPECT_EQ(calyra::CreationStatementOf(u"tVer"), kExpectedCreation[19]);
    EXPECT_EQ(calyra::CreationStatementOf(u"tWebUrl"), kExpectedCreation[20]);
    EXPECT_TRUE(calyra::CreationStatementOf(u"[tAlbum]").empty());
    EXPECT_TRUE(calyra::CreationStatementOf(u"talbum").empty());
    EXPECT_TRUE(calyra::CreationStatementOf(u"IDX_TFILE_1").empty()) << "indexes are not tables";
    EXPECT_TRUE(calyra::CreationStatementOf(u"").empty());
}

TEST(SchemaStatements, KeepsTheSpellingsOlderFilesWereWrittenWith) {
    // Each of these, "corrected", would make every existing file look like a
    // different schema. Named here so a failure says which one was lost.
    const struct {
        const char16_t* table;
        const char16_t* fragment;
    } quirks[] = {
        {u"tFile", u"\n[RepeatNumOnPc] iNTEGER  NULL,\n"},
        {u"tFile", u"\n[RepeatNumOnDevice] iNTEGER  NULL,\n"},
        {u"tFile", u"\n[LastNumOnPc] iNTEGER  NULL,\n"},
        {u"tFile", u"\n[LastNumOnDevice] iNTEGER  NULL,\n"},
        {u"tFile", u"\n[LastModifiredOnPc] TIMESTAMP  NULL,\n"},
        {u"tFile", u"\n[ObjectIdOn3rd] VARCHAR(522)  NULL,\n"},
        {u"tProfile", u"\n[IMEI] VARCHAR(64) NULL,\n[SN] VARCHAR(256) NULL,\n[HXRID] VARCHAR(64) NULL,\n"
                      u"[Model] VARCHAR(64) NULL,\n[ProfileName] VARCHAR(64)  NULL\n);"},
        {u"tContactGroupMap", u"[ContactGroupMapID] INTEGER  PRIMARY KEY NOT NULL,"},
        {u"tVer", u"[VerID] INTEGER  NOT NULL PRIMARY KEY AUTOINCREMENT,"},
    };
    for (const auto& q : quirks) {
        std::u16string_view statement = calyra::CreationStatementOf(q.table);
        EXPECT_NE(statement.find(q.fragment), std::u16string_view::npos)
            << Utf8(q.table) << " lost \"" << Utf8(q.fragment) << "\"";
    }
}

TEST(SchemaStatements, ListsAreStableAcrossCalls) {
    // Views handed out once must stay valid: the steps walk them repeatedly.
    calyra::SchemaStatementList first = calyra::CreationStatements();
    calyra::SchemaStatementList second = calyra::CreationStatements();
    EXPECT_EQ(first.data(), second.data());
    EXPECT_EQ(first[0].data(), second[0].data());
}

}  // namespace
