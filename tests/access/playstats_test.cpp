// Play statistics of music files and podcast episodes through
// IMostFrequentlyPlayedMusic and IMostFrequentlyPlayedPodcast.
//
// Both classes share one design, so most behaviour is a typed test run
// against each; what only one class has (the podcast's free-text fields,
// each table's exact statements) is tested on its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "access/playstats/most_frequently_played_music.h"
#include "access/playstats/most_frequently_played_podcast.h"
#include "platform/variant_time.h"
#include "support/pim_fixture.h"
#include "support/recording_connection.h"
#include "support/test_values.h"

using calyra::Bstr;
using calyra::ComPtr;
using calyra::Utf8ToUtf16;
using calyra::test::kUntouched;
using calyra::test::PimDatabase;
using calyra::test::SetText;
using calyra::test::UtcNowText;
using calyra::test::Text;
using calyra::test::RecordArray;
using calyra::test::RecordHolder;

namespace {

// How the tests reach each class: its interface operations and its record's
// free-text fields (besides the path).
struct MusicApi {
    using Class = calyra::CMostFrequentlyPlayedMusic;
    using Itf = IMostFrequentlyPlayedMusic;
    using Record = tagMostFrequentlyPlayedMusic;
    static constexpr auto Query = &Itf::QueryMfpmEntry;
    static constexpr auto Add = &Itf::AddMfpmEntry;
    static constexpr auto Delete = &Itf::DeleteMfpmEntryByID;
    static constexpr auto Modify = &Itf::ModifyMfpmEntryByID;
    static constexpr auto CountPlay = &Itf::ModifyMfpmEntryByIDEx;
    static constexpr auto Top = &Itf::GetMostFrequentlyPlayedMusics;
    static constexpr auto Play = &Itf::UpdateMostFrequentlyPlayedMusic;
    static constexpr const char* kTable = "[tMostFrequentlyPlayedMusic]";
    static constexpr BSTR Record::*kTexts[] = {&Record::bstrAlbum, &Record::bstrTitle, &Record::bstrArtist};
    static constexpr const char* kTextColumns[] = {"[Album]", "[Title]", "[Artist]"};
};

struct PodcastApi {
    using Class = calyra::CMostFrequentlyPlayedPodcast;
    using Itf = IMostFrequentlyPlayedPodcast;
    using Record = tagMostFrequentlyPlayedPodcast;
    static constexpr auto Query = &Itf::QueryMfppEntry;
    static constexpr auto Add = &Itf::AddMfppEntry;
    static constexpr auto Delete = &Itf::DeleteMfppEntryByID;
    static constexpr auto Modify = &Itf::ModifyMfppEntryByID;
    static constexpr auto CountPlay = &Itf::ModifyMfppEntryByIDEx;
    static constexpr auto Top = &Itf::GetMostFrequentlyPlayedPodcasts;
    static constexpr auto Play = &Itf::UpdateMostFrequentlyPlayedPodcast;
    static constexpr const char* kTable = "[tMostFrequentlyPlayedPodcast]";
    static constexpr BSTR Record::*kTexts[] = {&Record::bstrAlbum, &Record::bstrEpisode, &Record::bstrTime,
                                               &Record::bstrReleaseDate, &Record::bstrDescription};
    static constexpr const char* kTextColumns[] = {"[Album]", "[Episode]", "[Time]", "[ReleaseDate]",
                                                   "[Description]"};
};

// One entry of a top list.
struct Listed {
    std::string id;
    std::string path;
    LONG counter;
    std::string lastPlayed;  // as date text, to compare with what was stored
};

template <class Api>
class PlayStatistics : public ::testing::Test {
protected:
    using Record = typename Api::Record;
    using Itf = typename Api::Itf;

    ComPtr<Itf> NewObject(const char16_t* profile = u"1") { return db.Create<typename Api::Class, Itf>(profile); }

    // A file that exists on disk.
    std::string NewFile(const std::string& name) {
        auto path = db.dir().file(name);
        std::ofstream(path) << "audio";
        return path.string();
    }
    // A path in the same place that was never created.
    std::string MissingFile(const std::string& name) { return db.dir().file(name).string(); }

    static HRESULT Play(Itf* object, const std::string& path, LONG* err = nullptr) {
        RecordHolder<Record> r;
        SetText(r.bstrFullPath, path);
        return (object->*Api::Play)(err, &r);
    }
    HRESULT Play(const std::string& path, LONG* err = nullptr) { return Play(stats.get(), path, err); }

    // An entry written straight into the table, with a chosen counter and
    // last play.
    void Seed(const std::string& path, int counter, const std::string& lastPlayed, const std::string& profile = "1") {
        db.Exec(Utf8ToUtf16(std::string("INSERT INTO ") + Api::kTable +
                            " ([ProfileID], [FullPath], [Counter], [LastPlayed]) VALUES('" + profile + "', '" + path +
                            "', '" + std::to_string(counter) + "', '" + lastPlayed + "');"));
    }

    std::vector<Listed> Top(LONG count, LONG* filled = nullptr, LONG* arraySize = nullptr) {
        RecordArray<Record> array;
        LONG n = -1;
        LONG err = kUntouched;
        EXPECT_EQ((stats.get()->*Api::Top)(&err, count, &n, &array), S_OK);
        EXPECT_EQ(err, kUntouched) << "success leaves the error ID alone";
        if (filled) *filled = n;
        if (arraySize) *arraySize = array.size();
        std::vector<Listed> out;
        for (LONG i = 0; i < n; ++i) {
            const Record& e = array[i];
            DATE date = e.dtLastPlayed;
            SYSTEMTIME st{};
            VariantTimeToSystemTime(date, &st);
            char text[64];
            std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour,
                          st.wMinute, st.wSecond);
            out.push_back({Text(e.bstrEntryID), Text(e.bstrFullPath), e.lCounter, text});
        }
        return out;
    }

    std::vector<std::vector<std::string>> Stored(const std::string& columns = "[FullPath], [Counter]") {
        return db.Rows(Utf8ToUtf16("SELECT " + columns + " FROM " + Api::kTable + " ORDER BY [EntryID];"));
    }

    PimDatabase db;
    ComPtr<Itf> stats = NewObject();
};

using BothClasses = ::testing::Types<MusicApi, PodcastApi>;
class ClassNames {
public:
    template <class T>
    static std::string GetName(int) {
        return std::is_same_v<T, MusicApi> ? "Music" : "Podcast";
    }
};
TYPED_TEST_SUITE(PlayStatistics, BothClasses, ClassNames);

// ---- Recording plays ---------------------------------------------------------

TYPED_TEST(PlayStatistics, FirstPlayStoresCounterOneAndNowWhateverTheRecordSays) {
    using Record = typename TypeParam::Record;
    std::string path = this->NewFile("song");
    RecordHolder<Record> r;
    SetText(r.bstrFullPath, path);
    SetText(r.*TypeParam::kTexts[0], "album");
    r.lCounter = 41;
    r.dtLastPlayed = 1000.5;  // 1902: must not reach the table

    std::string before = UtcNowText();
    LONG err = kUntouched;
    ASSERT_EQ((this->stats.get()->*TypeParam::Play)(&err, &r), S_OK);
    std::string after = UtcNowText(1);
    EXPECT_EQ(err, kUntouched);

    auto rows = this->Stored("[FullPath], [Counter], [LastPlayed], [Album], [ProfileID]");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], path);
    EXPECT_EQ(rows[0][1], "1") << "a first play counts 1, not the record's counter";
    EXPECT_GE(rows[0][2], before) << "last played is the time of the play";
    EXPECT_LE(rows[0][2], after);
    EXPECT_EQ(rows[0][3], "album");
    EXPECT_EQ(rows[0][4], "1") << "the entry belongs to the object's profile";
    EXPECT_EQ(r.lCounter, 41) << "a first play leaves the caller's record as it was";
}

TYPED_TEST(PlayStatistics, LaterPlaysCountUpAndFollowTheCallersRecord) {
    using Record = typename TypeParam::Record;
    std::string path = this->NewFile("song");
    ASSERT_EQ(this->Play(path), S_OK);
    this->db.Exec(Utf8ToUtf16(std::string("UPDATE ") + TypeParam::kTable + " SET [LastPlayed] = '2001-01-01 00:00:00';"));

    RecordHolder<Record> r;
    SetText(r.bstrFullPath, path);
    SetText(r.bstrEntryID, "stale");
    r.lCounter = 41;
    std::string before = UtcNowText();
    ASSERT_EQ((this->stats.get()->*TypeParam::Play)(nullptr, &r), S_OK);

    auto rows = this->Stored("[EntryID], [Counter], [LastPlayed]");
    ASSERT_EQ(rows.size(), 1u) << "a second play of the same path must not add an entry";
    EXPECT_EQ(rows[0][1], "2");
    EXPECT_GE(rows[0][2], before) << "last played moves to the new play";
    EXPECT_EQ(Text(r.bstrEntryID), rows[0][0]) << "the caller's record gets the stored entry's ID";
    EXPECT_EQ(r.lCounter, 42) << "the caller's record counts one up from its own counter";

    ASSERT_EQ(this->Play(path), S_OK);
    EXPECT_EQ(this->Stored()[0][1], "3");
}

TYPED_TEST(PlayStatistics, PathsWithQuotesAreMatchedExactly) {
    std::string path = this->NewFile("O'Brien's \"best\".mp3");
    ASSERT_EQ(this->Play(path), S_OK);
    ASSERT_EQ(this->Play(path), S_OK);
    auto rows = this->Stored();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], path) << "the quote is stored intact";
    EXPECT_EQ(rows[0][1], "2") << "the look-up finds a path with quotes";
}

TYPED_TEST(PlayStatistics, EachProfileCountsItsOwnPlays) {
    std::string path = this->NewFile("shared");
    auto other = this->NewObject(u"2");
    ASSERT_EQ(this->Play(path), S_OK);
    ASSERT_EQ(this->Play(other.get(), path), S_OK);
    ASSERT_EQ(this->Play(other.get(), path), S_OK);
    EXPECT_EQ(this->Stored("[ProfileID], [Counter]"),
              (std::vector<std::vector<std::string>>{{"1", "1"}, {"2", "2"}}));

    // Without a profile ID the object works on the entries of the empty
    // profile: its own, and no one else's.
    auto unbound = this->NewObject(nullptr);
    ASSERT_EQ(this->Play(unbound.get(), path), S_OK);
    ASSERT_EQ(this->Play(unbound.get(), path), S_OK);
    auto rows = this->Stored("[ProfileID], [Counter]");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2], (std::vector<std::string>{"", "2"}));
}

// ---- Single entries ----------------------------------------------------------

TYPED_TEST(PlayStatistics, LookupReplacesOnlyTheEntryId) {
    using Record = typename TypeParam::Record;
    std::string path = this->NewFile("song");
    RecordHolder<Record> stored;
    SetText(stored.bstrFullPath, path);
    for (auto field : TypeParam::kTexts) SetText(stored.*field, "stored");
    Bstr id;
    ASSERT_EQ((this->stats.get()->*TypeParam::Add)(nullptr, &stored, &id), S_OK);
    ASSERT_FALSE(id.empty()) << "an insert hands out the new entry's ID";

    RecordHolder<Record> probe;
    SetText(probe.bstrFullPath, path);
    for (auto field : TypeParam::kTexts) SetText(probe.*field, "mine");
    SetText(probe.bstrEntryID, "old");
    probe.lCounter = 9;
    probe.dtLastPlayed = 2.5;
    VARIANT_BOOL exists = 0x55;
    ASSERT_EQ((this->stats.get()->*TypeParam::Query)(nullptr, &probe, &exists), S_OK);
    EXPECT_EQ(exists, VARIANT_TRUE);
    EXPECT_EQ(Text(probe.bstrEntryID), id.utf8());
    for (auto field : TypeParam::kTexts) EXPECT_EQ(Text(probe.*field), "mine") << "only the ID is filled in";
    EXPECT_EQ(probe.lCounter, 9);
    EXPECT_EQ(probe.dtLastPlayed, 2.5);

    RecordHolder<Record> miss;
    SetText(miss.bstrFullPath, path + ".other");
    SetText(miss.bstrEntryID, "kept");
    exists = 0x55;
    ASSERT_EQ((this->stats.get()->*TypeParam::Query)(nullptr, &miss, &exists), S_OK);
    EXPECT_EQ(exists, VARIANT_FALSE);
    EXPECT_EQ(Text(miss.bstrEntryID), "kept") << "a miss leaves the record unchanged";

    auto other = this->NewObject(u"2");
    exists = 0x55;
    ASSERT_EQ((other.get()->*TypeParam::Query)(nullptr, &probe, &exists), S_OK);
    EXPECT_EQ(exists, VARIANT_FALSE) << "another profile's entry is not found";
}

TYPED_TEST(PlayStatistics, AddStoresCounterOneAndNeverLooksForDuplicates) {
    using Record = typename TypeParam::Record;
    RecordHolder<Record> r;
    SetText(r.bstrFullPath, "/nowhere/x");
    r.lCounter = 50;
    ASSERT_EQ((this->stats.get()->*TypeParam::Add)(nullptr, &r, nullptr), S_OK) << "the ID output is optional";
    ASSERT_EQ((this->stats.get()->*TypeParam::Add)(nullptr, &r, nullptr), S_OK);
    EXPECT_EQ(this->Stored(), (std::vector<std::vector<std::string>>{{"/nowhere/x", "1"}, {"/nowhere/x", "1"}}));
}

TYPED_TEST(PlayStatistics, ModifyAndDeleteActOnTheIdEvenInAnotherProfile) {
    using Record = typename TypeParam::Record;
    auto other = this->NewObject(u"2");
    RecordHolder<Record> r;
    SetText(r.bstrFullPath, "/p/original");
    Bstr id;
    ASSERT_EQ((other.get()->*TypeParam::Add)(nullptr, &r, &id), S_OK);
    this->db.Exec(Utf8ToUtf16(std::string("UPDATE ") + TypeParam::kTable + " SET [LastPlayed] = '2001-01-01 00:00:00';"));

    RecordHolder<Record> change;
    SetText(change.bstrFullPath, "/p/it's new");
    for (auto field : TypeParam::kTexts) SetText(change.*field, "x'y");
    SetText(change.bstrEntryID, "999");  // ignored: the argument names the entry
    change.lCounter = 77;
    change.dtLastPlayed = 3.0;
    std::string before = UtcNowText();
    LONG err = kUntouched;
    ASSERT_EQ((this->stats.get()->*TypeParam::Modify)(&err, id, &change), S_OK);
    EXPECT_EQ(err, kUntouched);

    std::string columns = "[EntryID], [ProfileID], [FullPath], [Counter], [LastPlayed]";
    for (auto c : TypeParam::kTextColumns) columns += std::string(", ") + c;
    auto rows = this->Stored(columns);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], id.utf8());
    EXPECT_EQ(rows[0][1], "2") << "the profile is not changed";
    EXPECT_EQ(rows[0][2], "/p/it's new");
    EXPECT_EQ(rows[0][3], "77") << "a modify writes the record's counter";
    EXPECT_GE(rows[0][4], before) << "and stamps the time";
    for (size_t i = 5; i < rows[0].size(); ++i) EXPECT_EQ(rows[0][i], "x'y");

    ASSERT_EQ((this->stats.get()->*TypeParam::CountPlay)(nullptr, id, &change), S_OK);
    EXPECT_EQ(this->Stored()[0][1], "78") << "counting a play adds one in the table";

    ASSERT_EQ((this->stats.get()->*TypeParam::Delete)(nullptr, id), S_OK);
    EXPECT_TRUE(this->Stored().empty());
    ASSERT_EQ((this->stats.get()->*TypeParam::Delete)(nullptr, id), S_OK) << "deleting a gone entry is no failure";
}

// ---- The top list --------------------------------------------------------------

TYPED_TEST(PlayStatistics, TopListOrdersByCounterThenMostRecentPlay) {
    std::string a = this->NewFile("a"), b = this->NewFile("b"), c = this->NewFile("c"), d = this->NewFile("d");
    this->Seed(a, 2, "2020-05-01 10:00:00");
    this->Seed(b, 7, "2019-01-01 00:00:00");
    this->Seed(c, 2, "2021-03-04 05:06:07");
    this->Seed(d, 2, "2020-05-01 09:59:59");
    this->Seed(this->NewFile("other profile"), 100, "2022-01-01 00:00:00", "2");

    LONG filled = 0, size = 0;
    auto top = this->Top(10, &filled, &size);
    EXPECT_EQ(size, 10) << "the array always has lCnt elements";
    ASSERT_EQ(filled, 4);
    std::vector<std::string> order;
    for (auto& e : top) order.push_back(e.path);
    EXPECT_EQ(order, (std::vector<std::string>{b, c, a, d})) << "counter first, then the latest play";
    EXPECT_EQ(top[0].counter, 7);
    EXPECT_EQ(top[1].lastPlayed, "2021-03-04 05:06:07");
    EXPECT_FALSE(top[0].id.empty());
}

TYPED_TEST(PlayStatistics, TopListFillsExactlyTheRequestedSize) {
    using Record = typename TypeParam::Record;
    for (const char* name : {"x", "y", "z"}) ASSERT_EQ(this->Play(this->NewFile(name)), S_OK);

    RecordArray<Record> array;
    LONG n = -1;
    ASSERT_EQ((this->stats.get()->*TypeParam::Top)(nullptr, 10, &n, &array), S_OK);
    EXPECT_EQ(n, 3);
    ASSERT_EQ(array.size(), 10);
    for (LONG i = 3; i < 10; ++i) {
        EXPECT_EQ(array[i].bstrFullPath, nullptr) << "unfilled element " << i << " stays empty";
        EXPECT_EQ(array[i].lCounter, 0);
    }

    LONG filled = 0, size = 0;
    EXPECT_EQ(this->Top(2, &filled, &size).size(), 2u);
    EXPECT_EQ(filled, 2);
    EXPECT_EQ(size, 2);
}

TYPED_TEST(PlayStatistics, TopListPurgesMissingFilesUpToTheCutOnly) {
    std::string keep1 = this->NewFile("keep1"), keep2 = this->NewFile("keep2");
    std::string goneEarly = this->MissingFile("gone-early");
    std::string goneLate = this->MissingFile("gone-late"), goneLast = this->MissingFile("gone-last");
    std::string removed = this->NewFile("removed later");
    this->Seed(keep1, 9, "2020-01-01 00:00:00");
    this->Seed(goneEarly, 8, "2020-01-01 00:00:00");
    this->Seed(keep2, 7, "2020-01-01 00:00:00");
    this->Seed(goneLate, 6, "2020-01-01 00:00:00");
    this->Seed(removed, 5, "2020-01-01 00:00:00");
    this->Seed(goneLast, 4, "2020-01-01 00:00:00");

    LONG filled = 0;
    auto top = this->Top(2, &filled);
    ASSERT_EQ(filled, 2);
    EXPECT_EQ(top[0].path, keep1);
    EXPECT_EQ(top[1].path, keep2) << "the list goes on past a purged entry";
    std::set<std::string> left;
    for (auto& row : this->Stored()) left.insert(row[0]);
    EXPECT_EQ(left, (std::set<std::string>{keep1, keep2, goneLate, removed, goneLast}))
        << "the missing file before the cut is purged, those after it are not examined";

    std::filesystem::remove(removed);
    top = this->Top(99, &filled);
    EXPECT_EQ(filled, 2);
    left.clear();
    for (auto& row : this->Stored()) left.insert(row[0]);
    EXPECT_EQ(left, (std::set<std::string>{keep1, keep2})) << "a longer list reaches and purges the rest";
}

TYPED_TEST(PlayStatistics, TopListLeavesOtherProfilesAlone) {
    this->Seed(this->MissingFile("theirs"), 3, "2020-01-01 00:00:00", "2");
    LONG filled = -1;
    EXPECT_TRUE(this->Top(5, &filled).empty());
    EXPECT_EQ(filled, 0);
    EXPECT_EQ(this->Stored().size(), 1u) << "only the object's own profile is examined and purged";
}

// ---- Argument checks and failures ----------------------------------------------

TYPED_TEST(PlayStatistics, ListSizeMustLieBetweenOneAndNinetyNine) {
    using Record = typename TypeParam::Record;
    for (LONG count : {LONG{0}, LONG{100}, LONG{-1}, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max()}) {
        RecordArray<Record> array;
        LONG n = 5;
        LONG err = kUntouched;
        EXPECT_EQ((this->stats.get()->*TypeParam::Top)(&err, count, &n, &array), E_INVALIDARG)
            << "lCnt " << count;
        EXPECT_EQ(err, PIMERR_INVALID_ARGUMENT) << "lCnt " << count;
        EXPECT_EQ(array.get(), nullptr);
    }
    for (LONG count : {1, 99}) {
        LONG size = 0;
        this->Top(count, nullptr, &size);
        EXPECT_EQ(size, count);
    }
}

TYPED_TEST(PlayStatistics, MissingArgumentsAreRejectedBeforeAnythingHappens) {
    using Record = typename TypeParam::Record;
    using Itf = typename TypeParam::Itf;
    RecordHolder<Record> noPath;
    RecordHolder<Record> emptyPath;
    SetText(emptyPath.bstrFullPath, "");
    RecordHolder<Record> good;
    SetText(good.bstrFullPath, "/a");
    Bstr id(u"1"), empty(u"");
    VARIANT_BOOL exists = 0;
    LONG n = 0;
    const std::vector<std::pair<const char*, std::function<HRESULT(Itf*, LONG*)>>> cases = {
        {"lookup without path", [&](Itf* o, LONG* e) { return (o->*TypeParam::Query)(e, &noPath, &exists); }},
        {"lookup with empty path", [&](Itf* o, LONG* e) { return (o->*TypeParam::Query)(e, &emptyPath, &exists); }},
        {"lookup without answer", [&](Itf* o, LONG* e) { return (o->*TypeParam::Query)(e, &good, nullptr); }},
        {"delete without ID", [&](Itf* o, LONG* e) { return (o->*TypeParam::Delete)(e, nullptr); }},
        {"delete with empty ID", [&](Itf* o, LONG* e) { return (o->*TypeParam::Delete)(e, empty); }},
        {"modify without ID", [&](Itf* o, LONG* e) { return (o->*TypeParam::Modify)(e, empty, &good); }},
        {"count without ID", [&](Itf* o, LONG* e) { return (o->*TypeParam::CountPlay)(e, nullptr, &good); }},
        {"list without array", [&](Itf* o, LONG* e) { return (o->*TypeParam::Top)(e, 5, &n, nullptr); }},
        {"play without path", [&](Itf* o, LONG* e) { return (o->*TypeParam::Play)(e, &noPath); }},
        {"play with empty path", [&](Itf* o, LONG* e) { return (o->*TypeParam::Play)(e, &emptyPath); }},
    };
    // The argument check comes first, so an unconnected object answers the
    // same way.
    auto unconnected = ComPtr<Itf>();
    ASSERT_EQ(calyra::CreateComInstance<typename TypeParam::Class>(nullptr, calyra::IidOf<Itf>(),
                                                                   reinterpret_cast<void**>(&unconnected)),
              S_OK);
    for (Itf* object : {this->stats.get(), unconnected.get()}) {
        for (auto& [name, call] : cases) {
            LONG err = kUntouched;
            EXPECT_EQ(call(object, &err), E_INVALIDARG) << name;
            EXPECT_EQ(err, PIMERR_INVALID_ARGUMENT) << name;
        }
    }
    EXPECT_TRUE(this->Stored().empty()) << "nothing was written";
}

TYPED_TEST(PlayStatistics, AClosedDatabaseFailsQueriesAndWritesWithTheConnectionsReport) {
    using Record = typename TypeParam::Record;
    RecordHolder<Record> r;
    SetText(r.bstrFullPath, "/a");
    this->db.db()->ClosePimDatabase(nullptr);

    LONG err = kUntouched;
    RecordArray<Record> array;
    LONG n = 5;
    EXPECT_EQ((this->stats.get()->*TypeParam::Top)(&err, 5, &n, &array), E_UNEXPECTED);
    EXPECT_EQ(err, PIMERR_NOT_CONNECTED) << "the connection reports the closed database";
    EXPECT_EQ(n, 0);
    EXPECT_EQ(array.get(), nullptr);

    err = kUntouched;
    VARIANT_BOOL exists = 0x55;
    EXPECT_EQ((this->stats.get()->*TypeParam::Query)(&err, &r, &exists), E_UNEXPECTED);
    EXPECT_EQ(err, PIMERR_NOT_CONNECTED);
    EXPECT_EQ(exists, 0x55) << "a failed look-up answers nothing";

    err = kUntouched;
    EXPECT_EQ((this->stats.get()->*TypeParam::Play)(&err, &r), E_UNEXPECTED) << "the play returns its look-up's failure";
    EXPECT_EQ(err, PIMERR_NOT_CONNECTED);

    err = kUntouched;
    HRESULT hr = (this->stats.get()->*TypeParam::Add)(&err, &r, nullptr);
    EXPECT_TRUE(FAILED(hr)) << "a write returns the connection's status";
    EXPECT_NE(err, kUntouched);
}

// ---- The podcast's own fields ---------------------------------------------------

TEST(PodcastStatistics, FreeTextFieldsComeBackExactlyAsGiven) {
    PimDatabase db;
    auto stats = db.Create<calyra::CMostFrequentlyPlayedPodcast, IMostFrequentlyPlayedPodcast>(u"1");
    auto path = db.dir().file("episode 12.mp3");
    std::ofstream(path) << "audio";

    RecordHolder<tagMostFrequentlyPlayedPodcast> r;
    SetText(r.bstrFullPath, path.string());
    SetText(r.bstrAlbum, "Tech 'n' Talk");
    SetText(r.bstrEpisode, "Ep. 12: \"Quotes\"");
    SetText(r.bstrTime, "1:02:03 or so");
    SetText(r.bstrReleaseDate, "last Tuesday's");
    SetText(r.bstrDescription, "it's ''doubled'' already");
    ASSERT_EQ(stats->UpdateMostFrequentlyPlayedPodcast(nullptr, &r), S_OK);

    EXPECT_EQ(db.Rows(u"SELECT [Time], [ReleaseDate] FROM [tMostFrequentlyPlayedPodcast];"),
              (std::vector<std::vector<std::string>>{{"1:02:03 or so", "last Tuesday's"}}))
        << "time and release date are stored as text, not as dates";

    RecordArray<tagMostFrequentlyPlayedPodcast> array;
    LONG n = 0;
    ASSERT_EQ(stats->GetMostFrequentlyPlayedPodcasts(nullptr, 1, &n, &array), S_OK);
    ASSERT_EQ(n, 1);
    const auto& e = array[0];
    EXPECT_EQ(Text(e.bstrAlbum), "Tech 'n' Talk");
    EXPECT_EQ(Text(e.bstrEpisode), "Ep. 12: \"Quotes\"");
    EXPECT_EQ(Text(e.bstrTime), "1:02:03 or so");
    EXPECT_EQ(Text(e.bstrReleaseDate), "last Tuesday's");
    EXPECT_EQ(Text(e.bstrDescription), "it's ''doubled'' already");
    EXPECT_EQ(Text(e.bstrFullPath), path.string());
    EXPECT_EQ(e.lCounter, 1);
}

// ---- Statement texts ------------------------------------------------------------

// Runs the same script against either class and returns what the
// connection saw: two plays of one path, a modify, a list that purges both
// entries (neither file exists), a delete.
template <class Api>
std::vector<std::string> StatementsOfAScript() {
    using Record = typename Api::Record;
    PimDatabase db;
    auto recorder = calyra::test::RecordingConnection::Over(db.db());
    ComPtr<typename Api::Itf> stats;
    EXPECT_EQ(calyra::CreateComInstance<typename Api::Class>(nullptr, calyra::IidOf<typename Api::Itf>(),
                                                             reinterpret_cast<void**>(&stats)),
              S_OK);
    stats->SetPimDbAccess(nullptr, recorder.get());
    stats->SetProfileID(nullptr, Bstr(u"1"));

    RecordHolder<Record> r;
    SetText(r.bstrFullPath, "/m/it's");
    for (size_t i = 0; i < std::size(Api::kTexts); ++i) SetText(r.*Api::kTexts[i], "t" + std::to_string(i));
    (stats.get()->*Api::Play)(nullptr, &r);
    (stats.get()->*Api::Play)(nullptr, &r);
    r.lCounter = 7;
    (stats.get()->*Api::Modify)(nullptr, r.bstrEntryID, &r);
    db.Exec(Utf8ToUtf16(std::string("INSERT INTO ") + Api::kTable +
                        " ([ProfileID], [FullPath], [Counter]) VALUES('1', '/nowhere', '1');"));
    RecordArray<Record> array;
    LONG n = 0;
    (stats.get()->*Api::Top)(nullptr, 3, &n, &array);
    (stats.get()->*Api::Delete)(nullptr, r.bstrEntryID);
    std::vector<std::string> log;
    for (const auto& c : recorder->TakeCalls()) {
        const char* kind = c.kind == "Execute" ? "EXEC " : c.kind == "Query" ? "QUERY " : "FREE";
        log.push_back(kind + calyra::test::MaskTimeStamps(c.sql, "NOW"));
    }
    return log;
}

TEST(PlayStatisticsStatements, MusicTableTexts) {
    const std::string lookup =
        "QUERY SELECT [EntryID], [ProfileID], [Album], [Title], [Artist], [FullPath], [Counter], [LastPlayed] FROM "
        "[tMostFrequentlyPlayedMusic] WHERE [ProfileID] = '1' AND [FullPath] = '/m/it''s'";
    EXPECT_EQ(StatementsOfAScript<MusicApi>(),
              (std::vector<std::string>{
                  lookup,
                  "FREE",
                  "EXEC INSERT INTO [tMostFrequentlyPlayedMusic] ([ProfileID], [Album], [Title], [Artist], "
                  "[FullPath], [Counter], [LastPlayed]) VALUES('1', 't0', 't1', 't2', '/m/it''s', '1', 'NOW');",
                  lookup,
                  "FREE",
                  "EXEC UPDATE [tMostFrequentlyPlayedMusic] SET [Counter] = [Counter] + 1, [LastPlayed] = 'NOW' "
                  "WHERE [EntryID] = '1'",
                  "EXEC UPDATE [tMostFrequentlyPlayedMusic] SET [Album] = 't0', [Title] = 't1', [Artist] = 't2', "
                  "[FullPath] = '/m/it''s', [Counter] = '7', [LastPlayed] = 'NOW' WHERE [EntryID] = '1'",
                  "QUERY SELECT [EntryID], [Album], [Title], [Artist], [FullPath], [Counter], [LastPlayed] FROM "
                  "[tMostFrequentlyPlayedMusic] WHERE [ProfileID] = '1' ORDER BY [Counter] DESC, [LastPlayed] DESC",
                  "EXEC DELETE FROM [tMostFrequentlyPlayedMusic] WHERE [EntryID] = '1';",
                  "EXEC DELETE FROM [tMostFrequentlyPlayedMusic] WHERE [EntryID] = '2';",
                  "FREE",
                  "EXEC DELETE FROM [tMostFrequentlyPlayedMusic] WHERE [EntryID] = '1';",
              }))
        << "the purge deletes while the list's result set is still open";
}

TEST(PlayStatisticsStatements, PodcastTableTexts) {
    const std::string lookup =
        "QUERY SELECT [EntryID], [ProfileID], [Album], [Episode], [Time], [ReleaseDate], [Description], [FullPath], "
        "[Counter], [LastPlayed] FROM [tMostFrequentlyPlayedPodcast] WHERE [ProfileID] = '1' AND [FullPath] = "
        "'/m/it''s'";
    EXPECT_EQ(StatementsOfAScript<PodcastApi>(),
              (std::vector<std::string>{
                  lookup,
                  "FREE",
                  "EXEC INSERT INTO [tMostFrequentlyPlayedPodcast] ([ProfileID], [Album], [Episode], [Time], "
                  "[ReleaseDate], [Description], [FullPath], [Counter], [LastPlayed]) VALUES('1', 't0', 't1', 't2', "
                  "'t3', 't4', '/m/it''s', '1', 'NOW');",
                  lookup,
                  "FREE",
                  "EXEC UPDATE [tMostFrequentlyPlayedPodcast] SET [Counter] = [Counter] + 1, [LastPlayed] = 'NOW' "
                  "WHERE [EntryID] = '1'",
                  "EXEC UPDATE [tMostFrequentlyPlayedPodcast] SET [Album] = 't0', [Episode] = 't1', [Time] = 't2', "
                  "[ReleaseDate] = 't3', [Description] = 't4', [FullPath] = '/m/it''s', [Counter] = '7', "
                  "[LastPlayed] = 'NOW' WHERE [EntryID] = '1'",
                  "QUERY SELECT [EntryID], [Album], [Episode], [Time], [ReleaseDate], [Description], [FullPath], "
                  "[Counter], [LastPlayed] FROM [tMostFrequentlyPlayedPodcast] WHERE [ProfileID] = '1' ORDER BY "
                  "[Counter] DESC, [LastPlayed] DESC",
                  "EXEC DELETE FROM [tMostFrequentlyPlayedPodcast] WHERE [EntryID] = '1';",
                  "EXEC DELETE FROM [tMostFrequentlyPlayedPodcast] WHERE [EntryID] = '2';",
                  "FREE",
                  "EXEC DELETE FROM [tMostFrequentlyPlayedPodcast] WHERE [EntryID] = '1';",
              }))
        << "the purge deletes while the list's result set is still open";
}

}  // namespace
