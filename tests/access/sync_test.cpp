// Sync settings through ISyncOption: options per kind of data, the album
// list, and the read-only lists of synchronised albums and podcast files.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "access/sync/sync_option.h"
#include "support/pim_fixture.h"
#include "support/record_compare.h"
#include "support/test_values.h"

namespace calyra::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

tagSyncOptions Options(LONG group, LONG first) {
    tagSyncOptions o{};
    o.eGroupOption = static_cast<enumSyncGroupOption>(group);
    LONG* extra[] = {&o.lOptionEx0, &o.lOptionEx1, &o.lOptionEx2, &o.lOptionEx3,
                     &o.lOptionEx4, &o.lOptionEx5, &o.lOptionEx6, &o.lOptionEx7};
    for (LONG i = 0; i < 8; ++i) *extra[i] = first + i;
    return o;
}

class SyncOptionTest : public ::testing::Test {
protected:
    ComPtr<ISyncOption> NewObject(const char16_t* profile = u"1") {
        return db.Create<CSyncOption, ISyncOption>(profile);
    }

    std::vector<std::pair<std::string, LONG>> Albums(ISyncOption* object, LONG type) {
        RecordArray<tagSyncAlbumItem> array;
        const LONG n = ListInto(array, object, &ISyncOption::GetSyncAlbums, type);
        std::vector<std::pair<std::string, LONG>> out;
        for (LONG i = 0; i < n; ++i) {
            EXPECT_EQ(array[i].lType, type) << "each element carries the type asked for";
            out.emplace_back(Text(array[i].bstrAlbumName), array[i].lOption);
        }
        return out;
    }
    HRESULT AddAlbum(ISyncOption* object, LONG type, const std::u16string& name, LONG option = 0) {
        tagSyncAlbumItem item{};
        Bstr n(name);
        item.bstrAlbumName = n;
        item.lOption = option;
        item.lType = 12345;  // ignored: the argument is the type
        return object->AddSyncAlbum(nullptr, type, &item);
    }

    PimDatabase db;
    ComPtr<ISyncOption> sync = NewObject();
};

// ---- Options -------------------------------------------------------------------

TEST_F(SyncOptionTest, OptionsAreKeptPerProfileAndKindAndAKindNeverStoredReadsAllZeros) {
    auto other = NewObject(u"2"), unbound = NewObject(nullptr);
    tagSyncOptions a = Options(1, 10), b = Options(2, 20), c = Options(0, 30);
    ASSERT_EQ(sync->UpdateSyncOption(nullptr, 1, &a), S_OK);
    ASSERT_EQ(sync->UpdateSyncOption(nullptr, 2, &b), S_OK);
    ASSERT_EQ(other->UpdateSyncOption(nullptr, 1, &c), S_OK);
    const struct {
        ISyncOption* object;
        LONG kind, first;
    } cases[] = {
        {sync.get(), 1, 10}, {sync.get(), 2, 20}, {other.get(), 1, 30}, {sync.get(), 4, 0}, {unbound.get(), 1, 0}};
    for (const auto& k : cases) {
        tagSyncOptions read = Options(2, 50);
        read.lType = 9;
        ASSERT_EQ(k.object->GetSyncOption(nullptr, k.kind, &read), S_OK);
        EXPECT_EQ(read.lOptionEx0, k.first) << "kind " << k.kind;
        if (!k.first) {
            EXPECT_TRUE(SameRecord(tagSyncOptions{}, read)) << "lType is 0 too, not the kind asked for";
        }
    }
    ASSERT_EQ(unbound->UpdateSyncOption(nullptr, 1, &a), S_OK);
    EXPECT_EQ(db.Rows(u"SELECT [ProfileID], [SyncDataType] FROM [tSyncOption] ORDER BY [SyncOptionID];"),
              (Rows{{"1", "1"}, {"1", "2"}, {"2", "1"}, {"", "1"}}))
        << "without a profile the options are the empty profile's";
}

// ---- The album list -----------------------------------------------------------

TEST_F(SyncOptionTest, AlbumNamesWithQuotesAreStoredListedRemovedByNameAndClearedPerKindAndProfile) {
    ASSERT_EQ(AddAlbum(sync.get(), 5, u"Rock 'n' Roll", 1), S_OK);
    ASSERT_EQ(AddAlbum(sync.get(), 5, u"Jazz", 2), S_OK);
    ASSERT_EQ(AddAlbum(sync.get(), 5, u"Rock 'n' Roll", 3), S_OK) << "a name may be added twice";
    ASSERT_EQ(AddAlbum(sync.get(), 6, u"Rock 'n' Roll", 4), S_OK);
    EXPECT_EQ(db.Rows(u"SELECT [SyncDataType], [Option] FROM [tSyncAlbum] ORDER BY [SyncAlbumID];"),
              (Rows{{"5", "1"}, {"5", "2"}, {"5", "3"}, {"6", "4"}}))
        << "the argument is the stored type, not the record's";

    using Listed = std::vector<std::pair<std::string, LONG>>;
    EXPECT_EQ(Albums(sync.get(), 5), (Listed{{"Rock 'n' Roll", 1}, {"Jazz", 2}, {"Rock 'n' Roll", 3}}));

    ASSERT_EQ(sync->RemoveSyncAlbum(nullptr, 5, Bstr(u"Rock 'n' Roll")), S_OK);
    EXPECT_EQ(Albums(sync.get(), 5), (Listed{{"Jazz", 2}})) << "every row of that name and type goes";
    EXPECT_EQ(Albums(sync.get(), 6), (Listed{{"Rock 'n' Roll", 4}})) << "other types keep theirs";

    auto other = NewObject(u"2");
    ASSERT_EQ(AddAlbum(other.get(), 5, u"Theirs"), S_OK);
    ASSERT_EQ(sync->ClearSyncAlbums(nullptr, 5), S_OK);
    EXPECT_TRUE(Albums(sync.get(), 5).empty());
    EXPECT_EQ(Albums(sync.get(), 6).size(), 1u) << "clearing empties one kind";
    EXPECT_EQ(Albums(other.get(), 5).size(), 1u) << "of one profile";
}

// ---- Synchronised albums and podcasts --------------------------------------------

// Albums of profile 1 of the music (1) and podcast (3) types, and a podcast
// album of profile 2, with files marked as syncing or not.
TEST_F(SyncOptionTest, SyncedAlbumsListEveryTypeOfTheProfileWithAllFieldsAndPodcastsItsSyncingPodcastFiles) {
    db.Exec(
        u"INSERT INTO [tAlbum] ([AlbumID], [ProfileID], [Name], [PathOnPc], [PathOnDevice], [LocationOnPc], "
        u"[LocationOnDevice], [Filter], [Recursive], [Type], [SyncAnchor]) VALUES "
        u"(1, 1, 'Music', 'C:\\Music', '\\Card\\Music', 'pc loc', 'dev loc', '*.mp3', 1, 1, "
        u"'2010-05-28 12:34:56'), "
        u"(2, 1, 'Pod''casts', 'C:\\Pod', '\\Card\\Pod', NULL, '', NULL, 0, 3, NULL), "
        u"(3, 2, 'Theirs', 'x', 'y', 'z', 'w', 'f', 1, 3, '2011-01-01 00:00:00');");
    db.Exec(
        u"INSERT INTO [tFile] ([AlbumID], [ObjectIDOnPc], [ObjectIDOnDevice], [NameOnPc], [SyncingFlag]) VALUES "
        u"(2, 'pc/ep1', 'dev/ep1', 'ep1', 1), "
        u"(2, 'pc/ep2', 'dev/ep2', 'ep2', 0), "
        u"(2, 'pc/ep3', 'dev/ep3', 'ep3', NULL), "
        u"(1, 'pc/song', 'dev/song', 'song', 1), "
        u"(3, 'pc/theirs', 'dev/theirs', 'theirs', 1), "
        u"(2, 'pc/ep4', 'dev/ep4', 'ep4', 1);");
    RecordArray<tagSyncedAlbumItem> array;
    ASSERT_EQ(ListInto(array, sync.get(), &ISyncOption::GetSyncedAlbums), 2)
        << "albums of every type, of this profile only";
    ASSERT_EQ(array.size(), 2);

    auto describe = [](const tagSyncedAlbumItem& a) {
        return Text(a.bstrName) + "|" + Text(a.bstrPathOnPC) + "|" + Text(a.bstrPathOnDevice) + "|" +
               Text(a.bstrLocationOnPC) + "|" + Text(a.bstrLocationOnDevice) + "|" + Text(a.bstrFilter) + "|" +
               std::to_string(a.bRecursive) + "|" + std::to_string(a.lType);
    };
    EXPECT_EQ(describe(array[0]), "Music|C:\\Music|\\Card\\Music|pc loc|dev loc|*.mp3|1|1");
    EXPECT_EQ(DateText(array[0].dtSyncAnchor), "2010-05-28 12:34:56");
    EXPECT_EQ(describe(array[1]), "Pod'casts|C:\\Pod|\\Card\\Pod||||0|3") << "podcast albums are listed too";

    const LONG n = ListInto(array, sync.get(), &ISyncOption::GetSyncedPodcasts);
    ASSERT_EQ(n, 2) << "the syncing files of this profile's podcast albums";
    std::vector<std::pair<std::string, std::string>> paths;
    for (LONG i = 0; i < n; ++i) {
        const auto& e = array[i];
        paths.emplace_back(Text(e.bstrPathOnPC), Text(e.bstrPathOnDevice));
        EXPECT_TRUE(SameRecord(tagSyncedAlbumItem{}, e, {"bstrPathOnPC", "bstrPathOnDevice"}))
            << "only the two paths are filled";
    }
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::pair<std::string, std::string>>{{"pc/ep1", "dev/ep1"}, {"pc/ep4", "dev/ep4"}}));
}

}  // namespace
}  // namespace calyra::test
