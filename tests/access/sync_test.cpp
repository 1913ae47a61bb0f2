// Sync settings through ISyncOption: options per kind of data, the album
// list, and the read-only lists of synchronised albums and podcast files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "access/sync/sync_option.h"
#include "platform/variant_time.h"
#include "support/pim_fixture.h"
#include "support/test_values.h"

using calyra::Bstr;
using calyra::ComPtr;
using calyra::CSyncOption;
using calyra::Utf8ToUtf16;
using calyra::test::kUntouched;
using calyra::test::PimDatabase;
using calyra::test::Text;
using calyra::test::RecordArray;

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

std::vector<LONG> Fields(const tagSyncOptions& o) {
    return {o.lType,      o.eGroupOption, o.lOptionEx0, o.lOptionEx1, o.lOptionEx2,
            o.lOptionEx3, o.lOptionEx4,   o.lOptionEx5, o.lOptionEx6, o.lOptionEx7};
}

class SyncOptionTest : public ::testing::Test {
protected:
    ComPtr<ISyncOption> NewObject(const char16_t* profile = u"1") { return db.Create<CSyncOption, ISyncOption>(profile); }

    std::vector<std::pair<std::string, LONG>> Albums(ISyncOption* object, LONG type) {
        RecordArray<tagSyncAlbumItem> array;
        LONG n = -1;
        EXPECT_EQ(object->GetSyncAlbums(nullptr, type, &n, &array), S_OK);
        EXPECT_EQ(array.size(), n);
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

TEST_F(SyncOptionTest, AKindNeverStoredReadsAllZerosWithTypeZero) {
    tagSyncOptions o = Options(2, 50);
    o.lType = 9;
    LONG err = kUntouched;
    ASSERT_EQ(sync->GetSyncOption(&err, 4, &o), S_OK);
    EXPECT_EQ(err, kUntouched);
    EXPECT_EQ(Fields(o), std::vector<LONG>(10, 0)) << "lType is 0 too, not the type asked for";
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tSyncOption];"), "0") << "reading stores nothing";
}

TEST_F(SyncOptionTest, FirstUpdateInsertsAndTheNextUpdatesTheSameRow) {
    tagSyncOptions first = Options(enumSyncGroupOption_Groups, 100);
    first.lType = 77;  // the record's own type has no effect
    LONG err = kUntouched;
    ASSERT_EQ(sync->UpdateSyncOption(&err, 3, &first), S_OK);
    EXPECT_EQ(err, kUntouched);
    EXPECT_EQ(db.Rows(u"SELECT [ProfileID], [SyncDataType], [GroupOption], [OptionEx0], [OptionEx7] FROM [tSyncOption];"),
              (Rows{{"1", "3", "2", "100", "107"}}));
    std::string id = db.Value(u"SELECT [SyncOptionID] FROM [tSyncOption];");

    tagSyncOptions second = Options(enumSyncGroupOption_All, -5);
    second.lType = 78;
    ASSERT_EQ(sync->UpdateSyncOption(nullptr, 3, &second), S_OK);
    EXPECT_EQ(db.Rows(u"SELECT [SyncOptionID], [SyncDataType], [GroupOption], [OptionEx0], [OptionEx7] FROM "
                      u"[tSyncOption];"),
              (Rows{{id, "3", "1", "-5", "2"}}))
        << "the second update changes the row the first one inserted";

    tagSyncOptions read{};
    ASSERT_EQ(sync->GetSyncOption(nullptr, 3, &read), S_OK);
    EXPECT_EQ(Fields(read), (std::vector<LONG>{3, 1, -5, -4, -3, -2, -1, 0, 1, 2})) << "lType is the argument";
}

TEST_F(SyncOptionTest, OptionsAreKeptPerProfileAndKind) {
    auto other = NewObject(u"2");
    tagSyncOptions a = Options(1, 10), b = Options(2, 20), c = Options(0, 30);
    ASSERT_EQ(sync->UpdateSyncOption(nullptr, 1, &a), S_OK);
    ASSERT_EQ(sync->UpdateSyncOption(nullptr, 2, &b), S_OK);
    ASSERT_EQ(other->UpdateSyncOption(nullptr, 1, &c), S_OK);

    tagSyncOptions read{};
    ASSERT_EQ(sync->GetSyncOption(nullptr, 1, &read), S_OK);
    EXPECT_EQ(read.lOptionEx0, 10);
    ASSERT_EQ(sync->GetSyncOption(nullptr, 2, &read), S_OK);
    EXPECT_EQ(read.lOptionEx0, 20);
    ASSERT_EQ(other->GetSyncOption(nullptr, 1, &read), S_OK);
    EXPECT_EQ(read.lOptionEx0, 30);
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tSyncOption];"), "3");
}

TEST_F(SyncOptionTest, WithoutAProfileNothingIsFoundAndUpdatesInsertForTheEmptyProfile) {
    tagSyncOptions stored = Options(1, 10);
    ASSERT_EQ(sync->UpdateSyncOption(nullptr, 1, &stored), S_OK);
    ASSERT_EQ(AddAlbum(sync.get(), 1, u"mine"), S_OK);

    auto unbound = NewObject(nullptr);
    tagSyncOptions read = Options(2, 2);
    ASSERT_EQ(unbound->GetSyncOption(nullptr, 1, &read), S_OK);
    EXPECT_EQ(Fields(read), std::vector<LONG>(10, 0));
    EXPECT_TRUE(Albums(unbound.get(), 1).empty());

    ASSERT_EQ(unbound->UpdateSyncOption(nullptr, 1, &stored), S_OK);
    EXPECT_EQ(db.Rows(u"SELECT [ProfileID], [SyncDataType] FROM [tSyncOption] ORDER BY [SyncOptionID];"),
              (Rows{{"1", "1"}, {"", "1"}}));
}

// ---- The album list -----------------------------------------------------------

TEST_F(SyncOptionTest, AlbumNamesWithQuotesAreStoredListedAndRemovedByName) {
    ASSERT_EQ(AddAlbum(sync.get(), 5, u"Rock 'n' Roll", 1), S_OK);
    ASSERT_EQ(AddAlbum(sync.get(), 5, u"Jazz", 2), S_OK);
    ASSERT_EQ(AddAlbum(sync.get(), 5, u"Rock 'n' Roll", 3), S_OK) << "a name may be added twice";
    ASSERT_EQ(AddAlbum(sync.get(), 6, u"Rock 'n' Roll", 4), S_OK);
    EXPECT_EQ(db.Value(u"SELECT [SyncAlbumName] FROM [tSyncAlbum] LIMIT 1;"), "Rock 'n' Roll");
    EXPECT_EQ(db.Rows(u"SELECT [SyncDataType], [Option] FROM [tSyncAlbum] ORDER BY [SyncAlbumID];"),
              (Rows{{"5", "1"}, {"5", "2"}, {"5", "3"}, {"6", "4"}}))
        << "the argument is the stored type, not the record's";

    using Listed = std::vector<std::pair<std::string, LONG>>;
    EXPECT_EQ(Albums(sync.get(), 5), (Listed{{"Rock 'n' Roll", 1}, {"Jazz", 2}, {"Rock 'n' Roll", 3}}));

    LONG err = kUntouched;
    ASSERT_EQ(sync->RemoveSyncAlbum(&err, 5, Bstr(u"Rock 'n' Roll")), S_OK);
    EXPECT_EQ(err, kUntouched);
    EXPECT_EQ(Albums(sync.get(), 5), (Listed{{"Jazz", 2}})) << "every row of that name and type goes";
    EXPECT_EQ(Albums(sync.get(), 6), (Listed{{"Rock 'n' Roll", 4}})) << "other types keep theirs";

    EXPECT_EQ(sync->RemoveSyncAlbum(&err, 5, Bstr(u"never added")), S_OK);
    EXPECT_EQ(err, kUntouched);
}

TEST_F(SyncOptionTest, ClearingEmptiesOneKindOfOneProfile) {
    auto other = NewObject(u"2");
    ASSERT_EQ(AddAlbum(sync.get(), 1, u"a"), S_OK);
    ASSERT_EQ(AddAlbum(sync.get(), 1, u"b"), S_OK);
    ASSERT_EQ(AddAlbum(sync.get(), 2, u"c"), S_OK);
    ASSERT_EQ(AddAlbum(other.get(), 1, u"d"), S_OK);
    ASSERT_EQ(sync->ClearSyncAlbums(nullptr, 1), S_OK);
    EXPECT_TRUE(Albums(sync.get(), 1).empty());
    EXPECT_EQ(Albums(sync.get(), 2).size(), 1u);
    EXPECT_EQ(Albums(other.get(), 1).size(), 1u);
    EXPECT_EQ(sync->ClearSyncAlbums(nullptr, 1), S_OK) << "clearing an empty list is no failure";
}

// ---- Synchronised albums and podcasts --------------------------------------------

TEST_F(SyncOptionTest, SyncedAlbumsListEveryTypeOfTheProfileWithAllFields) {
    db.Exec(u"INSERT INTO [tAlbum] ([AlbumID], [ProfileID], [Name], [PathOnPc], [PathOnDevice], [LocationOnPc], "
            u"[LocationOnDevice], [Filter], [Recursive], [Type], [SyncAnchor]) VALUES "
            u"(1, 1, 'Music', 'C:\\Music', '\\Card\\Music', 'pc loc', 'dev loc', '*.mp3', 1, 1, "
            u"'2010-05-28 12:34:56'), "
            u"(2, 1, 'Pod''casts', 'C:\\Pod', '\\Card\\Pod', NULL, '', NULL, 0, 3, NULL), "
            u"(3, 2, 'Theirs', 'x', 'y', 'z', 'w', 'f', 1, 1, '2011-01-01 00:00:00');");
    RecordArray<tagSyncedAlbumItem> array;
    LONG n = -1;
    LONG err = kUntouched;
    ASSERT_EQ(sync->GetSyncedAlbums(&err, &n, &array), S_OK);
    EXPECT_EQ(err, kUntouched);
    ASSERT_EQ(n, 2) << "albums of every type, of this profile only";
    ASSERT_EQ(array.size(), 2);

    const auto& music = array[0];
    EXPECT_EQ(Text(music.bstrName), "Music");
    EXPECT_EQ(Text(music.bstrPathOnPC), "C:\\Music");
    EXPECT_EQ(Text(music.bstrPathOnDevice), "\\Card\\Music");
    EXPECT_EQ(Text(music.bstrLocationOnPC), "pc loc");
    EXPECT_EQ(Text(music.bstrLocationOnDevice), "dev loc");
    EXPECT_EQ(Text(music.bstrFilter), "*.mp3");
    EXPECT_EQ(music.bRecursive, 1);
    EXPECT_EQ(music.lType, 1);
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(music.dtSyncAnchor, &st));
    EXPECT_EQ(std::vector<int>({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond}),
              std::vector<int>({2010, 5, 28, 12, 34, 56}));

    const auto& podcasts = array[1];
    EXPECT_EQ(Text(podcasts.bstrName), "Pod'casts");
    EXPECT_EQ(podcasts.lType, 3) << "podcast albums are listed too";
    EXPECT_EQ(podcasts.bRecursive, 0);
}

TEST_F(SyncOptionTest, SyncedPodcastsAreSyncingFilesOfThisProfilesPodcastAlbums) {
    db.Exec(u"INSERT INTO [tAlbum] ([AlbumID], [ProfileID], [Type]) VALUES (1, 1, 3), (2, 1, 1), (3, 2, 3);");
    db.Exec(u"INSERT INTO [tFile] ([AlbumID], [ObjectIDOnPc], [ObjectIDOnDevice], [NameOnPc], [SyncingFlag]) VALUES "
            u"(1, 'pc/ep1', 'dev/ep1', 'ep1', 1), "
            u"(1, 'pc/ep2', 'dev/ep2', 'ep2', 0), "
            u"(1, 'pc/ep3', 'dev/ep3', 'ep3', NULL), "
            u"(2, 'pc/song', 'dev/song', 'song', 1), "
            u"(3, 'pc/theirs', 'dev/theirs', 'theirs', 1), "
            u"(1, 'pc/ep4', 'dev/ep4', 'ep4', 1);");
    RecordArray<tagSyncedAlbumItem> array;
    LONG n = -1;
    ASSERT_EQ(sync->GetSyncedPodcasts(nullptr, &n, &array), S_OK);
    ASSERT_EQ(n, 2);
    std::vector<std::pair<std::string, std::string>> paths;
    for (LONG i = 0; i < n; ++i) {
        const auto& e = array[i];
        paths.emplace_back(Text(e.bstrPathOnPC), Text(e.bstrPathOnDevice));
        EXPECT_EQ(e.bstrName, nullptr) << "only the two paths are filled";
        EXPECT_EQ(e.bstrLocationOnPC, nullptr);
        EXPECT_EQ(e.bstrLocationOnDevice, nullptr);
        EXPECT_EQ(e.bstrFilter, nullptr);
        EXPECT_EQ(e.bRecursive, 0);
        EXPECT_EQ(e.lType, 0);
        EXPECT_EQ(e.dtSyncAnchor, 0.0);
    }
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::pair<std::string, std::string>>{{"pc/ep1", "dev/ep1"}, {"pc/ep4", "dev/ep4"}}));
}

TEST_F(SyncOptionTest, EmptyListsAreEmptyArraysNotNull) {
    for (auto call : std::vector<std::function<HRESULT(LONG*, SAFEARRAY**)>>{
             [&](LONG* n, SAFEARRAY** a) { return sync->GetSyncAlbums(nullptr, 1, n, a); },
             [&](LONG* n, SAFEARRAY** a) { return sync->GetSyncedAlbums(nullptr, n, a); },
             [&](LONG* n, SAFEARRAY** a) { return sync->GetSyncedPodcasts(nullptr, n, a); },
         }) {
        RecordArray<tagSyncAlbumItem> array;  // frees whichever record array it receives
        LONG n = -1;
        ASSERT_EQ(call(&n, &array), S_OK);
        EXPECT_EQ(n, 0);
        ASSERT_NE(array.get(), nullptr);
        EXPECT_EQ(array.size(), 0);
    }
}

// ---- Argument checks and failures -----------------------------------------------

TEST_F(SyncOptionTest, MissingArgumentsAreRejectedBeforeAnythingHappens) {
    tagSyncAlbumItem noName{};
    tagSyncAlbumItem emptyName{};
    Bstr empty(u"");
    emptyName.bstrAlbumName = empty;
    LONG n = 0;
    const std::vector<std::pair<const char*, std::function<HRESULT(ISyncOption*, LONG*)>>> cases = {
        {"get without record", [&](ISyncOption* o, LONG* e) { return o->GetSyncOption(e, 1, nullptr); }},
        {"albums without array", [&](ISyncOption* o, LONG* e) { return o->GetSyncAlbums(e, 1, &n, nullptr); }},
        {"add without name", [&](ISyncOption* o, LONG* e) { return o->AddSyncAlbum(e, 1, &noName); }},
        {"add with empty name", [&](ISyncOption* o, LONG* e) { return o->AddSyncAlbum(e, 1, &emptyName); }},
        {"remove without name", [&](ISyncOption* o, LONG* e) { return o->RemoveSyncAlbum(e, 1, nullptr); }},
        {"remove with empty name", [&](ISyncOption* o, LONG* e) { return o->RemoveSyncAlbum(e, 1, empty); }},
        {"synced albums without array", [&](ISyncOption* o, LONG* e) { return o->GetSyncedAlbums(e, &n, nullptr); }},
        {"podcasts without array", [&](ISyncOption* o, LONG* e) { return o->GetSyncedPodcasts(e, &n, nullptr); }},
    };
    ComPtr<ISyncOption> unconnected;
    ASSERT_EQ(calyra::CreateComInstance<CSyncOption>(nullptr, IID_ISyncOption, reinterpret_cast<void**>(&unconnected)),
              S_OK);
    for (ISyncOption* object : {sync.get(), unconnected.get()}) {
        for (auto& [name, call] : cases) {
            LONG err = kUntouched;
            EXPECT_EQ(call(object, &err), E_INVALIDARG) << name;
            EXPECT_EQ(err, PIMERR_INVALID_ARGUMENT) << name;
        }
    }
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tSyncAlbum];"), "0");
}

// ---- Concurrency ----------------------------------------------------------------

}  // namespace
