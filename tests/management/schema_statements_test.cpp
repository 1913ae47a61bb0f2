// The schema statement lists, compared byte for byte with the texts every
// database file holds.
#include "management/schema_statements.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "management/schema_texts.h"
#include "platform/bstr.h"

namespace {

std::string Utf8(std::u16string_view text) { return calyra::Utf16ToUtf8(text); }

// Shows where two texts first differ, so a failure names the column.
std::string FirstDifference(std::u16string_view actual, std::u16string_view expected) {
    size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
    return "first difference at unit " + std::to_string(i) + ": got \"" + Utf8(actual.substr(i, 40)) +
           "\", expected \"" + Utf8(expected.substr(i, 40)) + "\"";
}

TEST(SchemaStatements, CreationAndDropListsAreTheExactSchemaInOrder) {
    const struct {
        calyra::SchemaStatementList actual;
        const char* file;
    } lists[] = {{calyra::CreationStatements(), "101111_create.sql"}, {calyra::DropStatements(), "101111_drop.sql"}};
    for (const auto& list : lists) {
        const std::vector<std::u16string> expected = calyra::test::SchemaTexts(list.file);
        ASSERT_EQ(list.actual.size(), 23u) << list.file << ": 21 tables and 2 indexes";
        ASSERT_EQ(expected.size(), 23u) << list.file;
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(list.actual[i], expected[i])
                << list.file << " statement " << i << "\n" << FirstDifference(list.actual[i], expected[i]);
    }
    // Views handed out once must stay valid: the steps walk them repeatedly.
    EXPECT_EQ(calyra::CreationStatements()[0].data(), calyra::CreationStatements()[0].data());
}

TEST(SchemaStatements, SingleCreationStatementsByExactTableName) {
    const std::vector<std::u16string> expected = calyra::test::SchemaTexts("101111_create.sql");
    const std::pair<const char16_t*, size_t> tables[] = {
        {u"tAlbum", 1}, {u"tEvent", 7}, {u"tFile", 9}, {u"tMostFrequentlyPlayedPodcast", 12}, {u"tVer", 19},
        {u"tWebUrl", 20}};
    for (const auto& [name, index] : tables) EXPECT_EQ(calyra::CreationStatementOf(name), expected[index]);
    for (const char16_t* name : {u"[tAlbum]", u"talbum", u"IDX_TFILE_1", u""})
        EXPECT_TRUE(calyra::CreationStatementOf(name).empty()) << Utf8(name);
}

}  // namespace
