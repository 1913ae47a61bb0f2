// What every record family shares, one table row per family: a record with
// its own value in every field (filled through the type library's
// description) is written, rewritten by ID, and must come back field for
// field from every read of the family; the time stamps are the times of the
// writes. Then one table of the argument rules that differ from family to
// family (required texts, list sizes, membership modes).
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "access/calendar/event_access.h"
#include "access/calendar/event_category_access.h"
#include "access/contacts/contact_access.h"
#include "access/contacts/contact_group_access.h"
#include "access/playstats/most_frequently_played_music.h"
#include "access/playstats/most_frequently_played_podcast.h"
#include "access/profiles/profile_access.h"
#include "access/sync/sync_option.h"
#include "access/tasks/task_access.h"
#include "support/pim_fixture.h"
#include "support/record_compare.h"
#include "support/recording_connection.h"
#include "support/test_values.h"

namespace calyra::test {
namespace {

template <class R>
using Check = std::function<void(const R&)>;
// Reads the record written under `id` and hands it to the check.
template <class R>
using Read = std::function<void(const std::string& id, const Check<R>&)>;

template <class R, class I, class M>
Read<R> ByID(I* o, M get) {
    return [=](const std::string& id, const Check<R>& check) {
        RecordHolder<R> r;
        ASSERT_EQ((o->*get)(nullptr, Bstr::FromUtf8(id), &r), S_OK);
        check(r);
    };
}
template <class R, class I, class M, class... Args>
Read<R> OnlyOfList(I* o, M list, Args... args) {
    return [=](const std::string&, const Check<R>& check) {
        RecordArray<R> a;
        ASSERT_EQ(ListInto(a, o, list, args...), 1);
        check(a[0]);
    };
}
template <class R, class I, class C, class M>
Read<R> FirstByIndex(I* o, C count, M get) {
    return [=](const std::string&, const Check<R>& check) {
        LONG n = 0;
        ASSERT_EQ((o->*count)(nullptr, &n), S_OK);
        RecordHolder<R> r;
        ASSERT_EQ((o->*get)(nullptr, 0, &r), S_OK);
        check(r);
    };
}

// One family: its first write (returning the new ID), its rewrite by ID
// (none: only written once), its reads, the fields that do not come back
// as written (the ID is checked apart), and its time stamps.
template <class R>
struct Family {
    const char* name;
    std::function<std::string(R*)> add;
    std::function<HRESULT(const std::string& id, R*)> modify;
    std::vector<Read<R>> reads;
    std::vector<std::string_view> ignore;
    const char* idField = nullptr;
};

template <class R>
const FieldDesc* FieldNamed(std::string_view name) {
    const RecordDesc& desc = RecordDescriptionOf<R>();
    for (size_t i = 0; i < desc.fieldCount; ++i)
        if (name == desc.fields[i].name) return &desc.fields[i];
    return nullptr;
}

template <class R>
void ExpectRoundTrips(const Family<R>& family) {
    SCOPED_TRACE(family.name);
    std::string id;
    for (int seed : {0, 1}) {
        if (seed == 1 && !family.modify) break;
        RecordHolder<R> want;
        FillDistinct<R>(want, seed);
        const std::string before = UtcNowText();
        if (seed == 0) {
            id = family.add(&want);
        } else {
            ASSERT_EQ(family.modify(id, &want), S_OK) << "rewrite";
        }
        const std::string after = UtcNowText(1);  // stamps round to the nearest second
        for (const auto& read : family.reads) {
            read(id, [&](const R& got) {
                std::vector<std::string_view> ignore = family.ignore;
                if (family.idField) ignore.push_back(family.idField);
                EXPECT_TRUE(SameRecord<R>(want, got, ignore)) << (seed ? "after the rewrite" : "after the add");
                if (family.idField) {
                    const FieldDesc* f = FieldNamed<R>(family.idField);
                    EXPECT_EQ(BstrUtf8(*reinterpret_cast<const BSTR*>(reinterpret_cast<const char*>(&got) + f->offset)),
                              id);
                }
                for (const char* stamp : {"dtModified", "dtCreated", "dtLastPlayed"}) {
                    const FieldDesc* f = FieldNamed<R>(stamp);
                    if (!f || (seed == 1 && std::string_view(stamp) == "dtCreated")) continue;
                    const std::string text =
                        DateText(*reinterpret_cast<const DATE*>(reinterpret_cast<const char*>(&got) + f->offset));
                    EXPECT_TRUE(text >= before && text <= after) << stamp << " " << text << " is not the write's time";
                }
            });
        }
    }
}

// A family's first write, `(o->*add)(plErrorID, args..., record, &id)`,
// returning the new ID, and its rewrite by ID.
template <class R, class I, class M, class... Args>
std::function<std::string(R*)> Adder(I* o, M add, Args... args) {
    return [=](R* r) {
        Bstr id;
        EXPECT_EQ((o->*add)(nullptr, args..., r, &id), S_OK);
        return id.utf8();
    };
}
template <class R, class I, class M>
std::function<HRESULT(const std::string&, R*)> Rewriter(I* o, M modify) {
    return [=](const std::string& id, R* r) { return (o->*modify)(nullptr, Bstr::FromUtf8(id), r); };
}
// A family added through `add` and rewritten through `modify` of `o`.
template <class R, class I, class A, class M>
void ExpectWrittenRoundTrips(const char* name, I* o, A add, M modify, std::vector<Read<R>> reads,
                             std::vector<std::string_view> ignore, const char* idField) {
    ExpectRoundTrips<R>({name, Adder<R>(o, add), Rewriter<R>(o, modify), std::move(reads), std::move(ignore), idField});
}
// A detail family of contact `of`, read back through its list.
template <class R, class A, class M, class L>
void ExpectDetailRoundTrips(const char* name, IContactAccess* c, BSTR of, A add, M modify, L list,
                            const char* idField) {
    ExpectRoundTrips<R>(
        {name, Adder<R>(c, add, of), Rewriter<R>(c, modify), {OnlyOfList<R>(c, list, of)}, {}, idField});
}

// A play-statistics family, its records all of the existing `file` (the
// lists show only files that exist): an add counts 1, a rewrite writes the
// record's counter.
template <class R, class I, class A, class M, class L>
void ExpectPlayStatsRoundTrips(const char* name, I* o, const std::string& file, A add, M modify, L list) {
    const auto onFile = [=](R* r) {
        SetText(r->bstrFullPath, file);
        return r;
    };
    ExpectRoundTrips<R>({name,
                         [=](R* r) {
                             r->lCounter = 1;
                             return Adder<R>(o, add)(onFile(r));
                         },
                         [=](const std::string& id, R* r) { return Rewriter<R>(o, modify)(id, onFile(r)); },
                         {OnlyOfList<R>(o, list, LONG{1})},
                         {"dtLastPlayed"},
                         "bstrEntryID"});
}

// Run twice: over the engine's own connection, and over one that offers
// only IPimDbAccess (a connection from another apartment or another
// implementation), where the objects walk result sets instead of using the
// engine's row reader. Every read must give the same records either way.
class EveryRecordFamily : public ::testing::TestWithParam<bool> {};

TEST_P(EveryRecordFamily, WrittenRecordsComeBackFieldForFieldFromEveryRead) {
    PimDatabase db;
    const ComPtr<CComObject<RecordingConnection>> foreign = GetParam() ? RecordingConnection::Over(db.db()) : nullptr;
    IPimDbAccess* const connection = foreign ? static_cast<IPimDbAccess*>(foreign.get()) : nullptr;
    auto profiles = db.Create<CProfileAccess, IProfileAccess>(u"1", connection);
    using P = IProfileAccess;
    using PI = tagProfileInfo;
    ExpectWrittenRoundTrips<PI>("profiles", profiles.get(), &P::AddProfile, &P::ModifyProfileByID,
                                {OnlyOfList<PI>(profiles.get(), &P::GetAllProfiles),
                                 FirstByIndex<PI>(profiles.get(), &P::GetNumOfProfiles, &P::GetProfileByIndex)},
                                {}, "bstrProfileID");

    auto contacts = db.Create<CContactAccess, IContactAccess>(u"1", connection);
    IContactAccess* c = contacts.get();
    using C = IContactAccess;
    using CI = tagContactInfo;
    ExpectWrittenRoundTrips<CI>("contacts", c, &C::AddContact, &C::ModifyContactByID,
                                {ByID<CI>(c, &C::GetContactByID), OnlyOfList<CI>(c, &C::GetAllContacts),
                                 FirstByIndex<CI>(c, &C::GetNumOfContacts, &C::GetContactByIndex)},
                                {"dtModified"}, "bstrContactID");

    auto groups = db.Create<CContactGroupAccess, IContactGroupAccess>(u"1", connection);
    using G = IContactGroupAccess;
    using GI = tagContactGroupInfo;
    ExpectWrittenRoundTrips<GI>("contact groups", groups.get(), &G::AddContactGroup, &G::ModifyContactGroupByID,
                                {OnlyOfList<GI>(groups.get(), &G::GetAllContactGroups),
                                 FirstByIndex<GI>(groups.get(), &G::GetNumOfContactGroups, &G::GetContactGroupByIndex)},
                                {"dtModified", "bstrContactGroupPhoto", "bstrContactGroupRingtone"},  // never stored
                                "bstrContactGroupID");

    // The detail items of contact "7" (no contact row is needed).
    const Bstr seven(u"7");
    const BSTR of = seven;
    ExpectDetailRoundTrips<tagAddress>("addresses", c, of, &C::AddAddressToContact, &C::ModifyAddressByID,
                                       &C::GetAddressesByContactID, "bstrAddressID");
    ExpectDetailRoundTrips<tagPhoneNumber>("phone numbers", c, of, &C::AddPhoneNumberToContact,
                                           &C::ModifyPhoneNumberByID, &C::GetPhoneNumbersByContactID,
                                           "bstrPhoneNumberID");
    ExpectDetailRoundTrips<tagEmail>("e-mail", c, of, &C::AddEmailToContact, &C::ModifyEmailByID,
                                     &C::GetEmailsByContactID, "bstrEmailID");
    ExpectDetailRoundTrips<tagWebUrl>("web", c, of, &C::AddWebUrlToContact, &C::ModifyWebUrlByID,
                                      &C::GetWebUrlsByContactID, "bstrWebUrlID");
    ExpectDetailRoundTrips<tagIM>("instant messaging", c, of, &C::AddIMToContact, &C::ModifyIMByID,
                                  &C::GetIMsByContactID, "bstrIMID");

    auto events = db.Create<CEventAccess, IEventAccess>(u"1", connection);
    using E = IEventAccess;
    using EI = tagEventInfo;
    ExpectWrittenRoundTrips<EI>("events", events.get(), &E::AddEvent, &E::ModifyEventByID,
                                {ByID<EI>(events.get(), &E::GetEventByID), ByID<EI>(events.get(), &E::GetExceptionByID),
                                 OnlyOfList<EI>(events.get(), &E::GetAllEvents)},
                                {"dtModified"}, "bstrEventID");

    auto categories = db.Create<CEventCategoryAccess, IEventCategoryAccess>(u"1", connection);
    using K = IEventCategoryAccess;
    using KI = tagEventCategoryInfo;
    ExpectWrittenRoundTrips<KI>(
        "event categories", categories.get(), &K::AddEventCategory, &K::ModifyEventCategoryByID,
        {OnlyOfList<KI>(categories.get(), &K::GetAllEventCategories),
         FirstByIndex<KI>(categories.get(), &K::GetNumOfEventCategories, &K::GetEventCategoryByIndex)},
        {"dtModified"}, "bstrEventCategoryID");

    auto tasks = db.Create<CTaskAccess, ITaskAccess>(u"1", connection);
    using T = ITaskAccess;
    using TI = tagTaskInfo;
    ExpectWrittenRoundTrips<TI>("tasks", tasks.get(), &T::AddTask, &T::ModifyTaskByID,
                                {ByID<TI>(tasks.get(), &T::GetTaskByID), OnlyOfList<TI>(tasks.get(), &T::GetAllTasks),
                                 FirstByIndex<TI>(tasks.get(), &T::GetNumOfTasks, &T::GetTaskByIndex)},
                                {"dtCreated", "dtModified"}, "bstrTaskID");

    const std::string file = db.dir().file("played").string();
    std::ofstream(file) << "audio";
    using M = IMostFrequentlyPlayedMusic;
    auto music = db.Create<CMostFrequentlyPlayedMusic, M>(u"1", connection);
    ExpectPlayStatsRoundTrips<tagMostFrequentlyPlayedMusic>("music", music.get(), file, &M::AddMfpmEntry,
                                                            &M::ModifyMfpmEntryByID, &M::GetMostFrequentlyPlayedMusics);
    using Q = IMostFrequentlyPlayedPodcast;
    auto podcasts = db.Create<CMostFrequentlyPlayedPodcast, Q>(u"1", connection);
    ExpectPlayStatsRoundTrips<tagMostFrequentlyPlayedPodcast>("podcasts", podcasts.get(), file, &Q::AddMfppEntry,
                                                              &Q::ModifyMfppEntryByID,
                                                              &Q::GetMostFrequentlyPlayedPodcasts);

    // Sync options are written per kind (the argument, which reads back as
    // lType); the first update inserts, the next rewrites that row.
    auto sync = db.Create<CSyncOption, ISyncOption>(u"1", connection);
    auto updateOption = [&](const std::string&, tagSyncOptions* r) {
        r->lType = -1;
        return sync->UpdateSyncOption(nullptr, -1, r);
    };
    ExpectRoundTrips<tagSyncOptions>({"sync options",
                                      [&](tagSyncOptions* r) {
                                          EXPECT_EQ(updateOption("", r), S_OK);
                                          return std::string();
                                      },
                                      updateOption,
                                      {[&](const std::string&, const Check<tagSyncOptions>& check) {
                                          tagSyncOptions got{};
                                          ASSERT_EQ(sync->GetSyncOption(nullptr, -1, &got), S_OK);
                                          check(got);
                                      }},
                                      {}});
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tSyncOption];"), "1");
    ExpectRoundTrips<tagSyncAlbumItem>(
        {"sync albums",
         [&](tagSyncAlbumItem* r) {
             EXPECT_EQ(sync->AddSyncAlbum(nullptr, r->lType, r), S_OK);
             return std::string();
         },
         nullptr,
         {OnlyOfList<tagSyncAlbumItem>(sync.get(), &ISyncOption::GetSyncAlbums, LONG{-1001})},  // the filled lType
         {}});
}

INSTANTIATE_TEST_SUITE_P(Connections, EveryRecordFamily, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "OnlyIPimDbAccess" : "EngineConnection"; });

// Rules beyond the NULL pointers and empty IDs every operation refuses (the
// sweep in every_interface_test.cpp): each call reports an invalid argument,
// also without plErrorID, and writes nothing.
TEST(EveryFamily, FamilyArgumentRulesReportInvalidArgumentAndWriteNothing) {
    PimDatabase db;
    auto profiles = db.Create<CProfileAccess, IProfileAccess>();
    auto contacts = db.Create<CContactAccess, IContactAccess>();
    auto groups = db.Create<CContactGroupAccess, IContactGroupAccess>();
    auto events = db.Create<CEventAccess, IEventAccess>();
    auto tasks = db.Create<CTaskAccess, ITaskAccess>();
    auto music = db.Create<CMostFrequentlyPlayedMusic, IMostFrequentlyPlayedMusic>();
    auto sync = db.Create<CSyncOption, ISyncOption>();
    tagProfileInfo profile{}, named{};
    tagContactGroupInfo group{};
    tagEventInfo event{};
    tagTaskInfo task{};
    tagIM im{};
    tagMostFrequentlyPlayedMusic entry{};
    tagSyncAlbumItem album{};
    Bstr id, one(u"1"), empty(u"");
    named.bstrName = one;
    RecordArray<tagMostFrequentlyPlayedMusic> top;
    LONG n = 0;
    VARIANT_BOOL exists = 0;
    const struct {
        const char* what;
        std::function<HRESULT(LONG*)> call;
    } cases[] = {
        {"profile without a name", [&](LONG* e) { return profiles->AddProfile(e, &profile, &id); }},
        {"profile renamed to nothing", [&](LONG* e) { return profiles->ModifyProfileByID(e, one, &profile); }},
        {"profile without ID output", [&](LONG* e) { return profiles->AddProfile(e, &named, nullptr); }},
        {"group without a name", [&](LONG* e) { return groups->AddContactGroup(e, &group, &id); }},
        {"group renamed to nothing", [&](LONG* e) { return groups->ModifyContactGroupByID(e, one, &group); }},
        {"IM without ID output", [&](LONG* e) { return contacts->AddIMToContact(e, one, &im, nullptr); }},
        {"joining no group in add mode",
         [&](LONG* e) { return contacts->AddContactToContactGroup(e, one, empty, VARIANT_TRUE); }},
        {"replacing the groups of no contact",
         [&](LONG* e) { return contacts->AddContactToContactGroup(e, nullptr, one, VARIANT_FALSE); }},
        {"event without subject", [&](LONG* e) { return events->AddEvent(e, &event, &id); }},
        {"exception without subject", [&](LONG* e) { return events->AddException(e, one, &event, &id); }},
        {"task without subject", [&](LONG* e) { return tasks->AddTask(e, &task, &id); }},
        {"look-up without path", [&](LONG* e) { return music->QueryMfpmEntry(e, &entry, &exists); }},
        {"play without path", [&](LONG* e) { return music->UpdateMostFrequentlyPlayedMusic(e, &entry); }},
        {"top list of 0", [&](LONG* e) { return music->GetMostFrequentlyPlayedMusics(e, 0, &n, &top); }},
        {"top list of 100", [&](LONG* e) { return music->GetMostFrequentlyPlayedMusics(e, 100, &n, &top); }},
        {"album without a name", [&](LONG* e) { return sync->AddSyncAlbum(e, 1, &album); }},
    };
    for (const auto& c : cases) {
        LONG err = kUntouched;
        EXPECT_EQ(c.call(&err), E_INVALIDARG) << c.what;
        EXPECT_EQ(err, PIMERR_INVALID_ARGUMENT) << c.what;
        EXPECT_EQ(c.call(nullptr), E_INVALIDARG) << c.what << " (NULL plErrorID)";
    }
    EXPECT_EQ(top.get(), nullptr);
    EXPECT_EQ(db.Value(u"SELECT (SELECT COUNT(*) FROM [tProfile]) + (SELECT COUNT(*) FROM [tContactGroup]) + "
                       u"(SELECT COUNT(*) FROM [tIM]) + (SELECT COUNT(*) FROM [tEvent]) + (SELECT COUNT(*) FROM "
                       u"[tTask]) + (SELECT COUNT(*) FROM [tSyncAlbum]) + (SELECT COUNT(*) FROM "
                       u"[tMostFrequentlyPlayedMusic]);"),
              "0");
    // The bounds themselves are valid sizes, and an empty subject may be written by a rewrite.
    EXPECT_EQ(music->GetMostFrequentlyPlayedMusics(nullptr, 99, &n, &top), S_OK);
    EXPECT_EQ(top.size(), 99);
    EXPECT_EQ(tasks->ModifyTaskByID(nullptr, one, &task), S_OK);
    EXPECT_EQ(events->ModifyEventByID(nullptr, one, &event), S_OK);
}

}  // namespace
}  // namespace calyra::test
