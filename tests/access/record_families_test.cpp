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
#include "support/error_calls.h"
#include "support/pim_fixture.h"
#include "support/record_compare.h"
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
        LONG n = 0;
        ASSERT_EQ((o->*list)(nullptr, args..., &n, &a), S_OK);
        ASSERT_EQ(n, 1);
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

// The ID a call hands out through its BSTR* output.
template <class F>
std::string NewID(F call) {
    Bstr id;
    LONG err = kUntouched;
    EXPECT_EQ(call(&err, &id), S_OK);
    EXPECT_EQ(err, kUntouched) << "a successful write leaves the error ID alone";
    return id.utf8();
}

TEST(EveryRecordFamily, WrittenRecordsComeBackFieldForFieldFromEveryRead) {
    PimDatabase db;
    auto profiles = db.Create<CProfileAccess, IProfileAccess>();
    ExpectRoundTrips<tagProfileInfo>(
        {"profiles", [&](auto* r) { return NewID([&](LONG* e, BSTR* id) { return profiles->AddProfile(e, r, id); }); },
         [&](auto& id, auto* r) { return profiles->ModifyProfileByID(nullptr, Bstr::FromUtf8(id), r); },
         {OnlyOfList<tagProfileInfo>(profiles.get(), &IProfileAccess::GetAllProfiles),
          FirstByIndex<tagProfileInfo>(profiles.get(), &IProfileAccess::GetNumOfProfiles,
                                       &IProfileAccess::GetProfileByIndex)},
         {},
         "bstrProfileID"});

    auto contacts = db.Create<CContactAccess, IContactAccess>();
    ExpectRoundTrips<tagContactInfo>(
        {"contacts", [&](auto* r) { return NewID([&](LONG* e, BSTR* id) { return contacts->AddContact(e, r, id); }); },
         [&](auto& id, auto* r) { return contacts->ModifyContactByID(nullptr, Bstr::FromUtf8(id), r); },
         {ByID<tagContactInfo>(contacts.get(), &IContactAccess::GetContactByID),
          OnlyOfList<tagContactInfo>(contacts.get(), &IContactAccess::GetAllContacts),
          FirstByIndex<tagContactInfo>(contacts.get(), &IContactAccess::GetNumOfContacts,
                                       &IContactAccess::GetContactByIndex)},
         {"dtModified"},
         "bstrContactID"});

    auto groups = db.Create<CContactGroupAccess, IContactGroupAccess>();
    ExpectRoundTrips<tagContactGroupInfo>(
        {"contact groups",
         [&](auto* r) { return NewID([&](LONG* e, BSTR* id) { return groups->AddContactGroup(e, r, id); }); },
         [&](auto& id, auto* r) { return groups->ModifyContactGroupByID(nullptr, Bstr::FromUtf8(id), r); },
         {OnlyOfList<tagContactGroupInfo>(groups.get(), &IContactGroupAccess::GetAllContactGroups),
          FirstByIndex<tagContactGroupInfo>(groups.get(), &IContactGroupAccess::GetNumOfContactGroups,
                                            &IContactGroupAccess::GetContactGroupByIndex)},
         {"dtModified", "bstrContactGroupPhoto", "bstrContactGroupRingtone"},  // photo and ringtone are never stored
         "bstrContactGroupID"});

    // The detail items of contact "7" (no contact row is needed).
    const Bstr seven(u"7");
    IContactAccess* c = contacts.get();
    ExpectRoundTrips<tagAddress>(
        {"addresses", [&](auto* r) { return NewID([&](LONG* e, BSTR* id) { return c->AddAddressToContact(e, seven, r, id); }); },
         [&](auto& id, auto* r) { return c->ModifyAddressByID(nullptr, Bstr::FromUtf8(id), r); },
         {OnlyOfList<tagAddress>(c, &IContactAccess::GetAddressesByContactID, BSTR(seven))}, {}, "bstrAddressID"});
    ExpectRoundTrips<tagPhoneNumber>(
        {"phone numbers",
         [&](auto* r) { return NewID([&](LONG* e, BSTR* id) { return c->AddPhoneNumberToContact(e, seven, r, id); }); },
         [&](auto& id, auto* r) { return c->ModifyPhoneNumberByID(nullptr, Bstr::FromUtf8(id), r); },
         {OnlyOfList<tagPhoneNumber>(c, &IContactAccess::GetPhoneNumbersByContactID, BSTR(seven))}, {},
         "bstrPhoneNumberID"});
    ExpectRoundTrips<tagEmail>(
        {"e-mail", [&](auto* r) { return NewID([&](LONG* e, BSTR* id) { return c->AddEmailToContact(e, seven, r, id); }); },
         [&](auto& id, auto* r) { return c->ModifyEmailByID(nullptr, Bstr::FromUtf8(id), r); },
         {OnlyOfList<tagEmail>(c, &IContactAccess::GetEmailsByContactID, BSTR(seven))}, {}, "bstrEmailID"});
    ExpectRoundTrips<tagWebUrl>(
        {"web", [&](auto* r) { return NewID([&](LONG* e, BSTR* id) { return c->AddWebUrlToContact(e, seven, r, id); }); },
         [&](auto& id, auto* r) { return c->ModifyWebUrlByID(nullptr, Bstr::FromUtf8(id), r); },
         {OnlyOfList<tagWebUrl>(c, &IContactAccess::GetWebUrlsByContactID, BSTR(seven))}, {}, "bstrWebUrlID"});
    ExpectRoundTrips<tagIM>(
        {"instant messaging",
         [&](auto* r) { return NewID([&](LONG* e, BSTR* id) { return c->AddIMToContact(e, seven, r, id); }); },
         [&](auto& id, auto* r) { return c->ModifyIMByID(nullptr, Bstr::FromUtf8(id), r); },
         {OnlyOfList<tagIM>(c, &IContactAccess::GetIMsByContactID, BSTR(seven))}, {}, "bstrIMID"});

    auto events = db.Create<CEventAccess, IEventAccess>();
    ExpectRoundTrips<tagEventInfo>(
        {"events", [&](auto* r) { return NewID([&](LONG* e, BSTR* id) { return events->AddEvent(e, r, id); }); },
         [&](auto& id, auto* r) { return events->ModifyEventByID(nullptr, Bstr::FromUtf8(id), r); },
         {ByID<tagEventInfo>(events.get(), &IEventAccess::GetEventByID),
          ByID<tagEventInfo>(events.get(), &IEventAccess::GetExceptionByID),
          OnlyOfList<tagEventInfo>(events.get(), &IEventAccess::GetAllEvents)},
         {"dtModified"},
         "bstrEventID"});

    auto categories = db.Create<CEventCategoryAccess, IEventCategoryAccess>();
    ExpectRoundTrips<tagEventCategoryInfo>(
        {"event categories",
         [&](auto* r) { return NewID([&](LONG* e, BSTR* id) { return categories->AddEventCategory(e, r, id); }); },
         [&](auto& id, auto* r) { return categories->ModifyEventCategoryByID(nullptr, Bstr::FromUtf8(id), r); },
         {OnlyOfList<tagEventCategoryInfo>(categories.get(), &IEventCategoryAccess::GetAllEventCategories),
          FirstByIndex<tagEventCategoryInfo>(categories.get(), &IEventCategoryAccess::GetNumOfEventCategories,
                                             &IEventCategoryAccess::GetEventCategoryByIndex)},
         {"dtModified"},
         "bstrEventCategoryID"});

    auto tasks = db.Create<CTaskAccess, ITaskAccess>();
    ExpectRoundTrips<tagTaskInfo>(
        {"tasks", [&](auto* r) { return NewID([&](LONG* e, BSTR* id) { return tasks->AddTask(e, r, id); }); },
         [&](auto& id, auto* r) { return tasks->ModifyTaskByID(nullptr, Bstr::FromUtf8(id), r); },
         {ByID<tagTaskInfo>(tasks.get(), &ITaskAccess::GetTaskByID),
          OnlyOfList<tagTaskInfo>(tasks.get(), &ITaskAccess::GetAllTasks),
          FirstByIndex<tagTaskInfo>(tasks.get(), &ITaskAccess::GetNumOfTasks, &ITaskAccess::GetTaskByIndex)},
         {"dtCreated", "dtModified"},
         "bstrTaskID"});

    // Play statistics list only files that exist; the counter is 1 on an
    // add and the record's own on a rewrite.
    const std::string file = db.dir().file("played").string();
    std::ofstream(file) << "audio";
    auto music = db.Create<CMostFrequentlyPlayedMusic, IMostFrequentlyPlayedMusic>();
    ExpectRoundTrips<tagMostFrequentlyPlayedMusic>(
        {"music",
         [&](auto* r) {
             SetText(r->bstrFullPath, file);
             r->lCounter = 1;
             return NewID([&](LONG* e, BSTR* id) { return music->AddMfpmEntry(e, r, id); });
         },
         [&](auto& id, auto* r) {
             SetText(r->bstrFullPath, file);
             return music->ModifyMfpmEntryByID(nullptr, Bstr::FromUtf8(id), r);
         },
         {OnlyOfList<tagMostFrequentlyPlayedMusic>(music.get(), &IMostFrequentlyPlayedMusic::GetMostFrequentlyPlayedMusics,
                                                   LONG{1})},
         {"dtLastPlayed"},
         "bstrEntryID"});
    auto podcasts = db.Create<CMostFrequentlyPlayedPodcast, IMostFrequentlyPlayedPodcast>();
    ExpectRoundTrips<tagMostFrequentlyPlayedPodcast>(
        {"podcasts",
         [&](auto* r) {
             SetText(r->bstrFullPath, file);
             r->lCounter = 1;
             return NewID([&](LONG* e, BSTR* id) { return podcasts->AddMfppEntry(e, r, id); });
         },
         [&](auto& id, auto* r) {
             SetText(r->bstrFullPath, file);
             return podcasts->ModifyMfppEntryByID(nullptr, Bstr::FromUtf8(id), r);
         },
         {OnlyOfList<tagMostFrequentlyPlayedPodcast>(
             podcasts.get(), &IMostFrequentlyPlayedPodcast::GetMostFrequentlyPlayedPodcasts, LONG{1})},
         {"dtLastPlayed"},
         "bstrEntryID"});

    // Sync options are written per kind (the argument, which reads back as
    // lType); the first update inserts, the next rewrites that row.
    auto sync = db.Create<CSyncOption, ISyncOption>();
    ExpectRoundTrips<tagSyncOptions>(
        {"sync options",
         [&](auto* r) {
             r->lType = -1;
             EXPECT_EQ(sync->UpdateSyncOption(nullptr, -1, r), S_OK);
             return std::string();
         },
         [&](auto&, auto* r) {
             r->lType = -1;
             return sync->UpdateSyncOption(nullptr, -1, r);
         },
         {[&](const std::string&, const Check<tagSyncOptions>& check) {
             tagSyncOptions got{};
             ASSERT_EQ(sync->GetSyncOption(nullptr, -1, &got), S_OK);
             check(got);
         }},
         {}});
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tSyncOption];"), "1");
    ExpectRoundTrips<tagSyncAlbumItem>(
        {"sync albums",
         [&](auto* r) {
             EXPECT_EQ(sync->AddSyncAlbum(nullptr, r->lType, r), S_OK);
             return std::string();
         },
         nullptr,
         {[&](const std::string&, const Check<tagSyncAlbumItem>& check) {
             RecordArray<tagSyncAlbumItem> a;
             LONG n = 0;
             ASSERT_EQ(sync->GetSyncAlbums(nullptr, -1001, &n, &a), S_OK);
             ASSERT_EQ(n, 1);
             check(a[0]);
         }},
         {}});
}

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
    tagProfileInfo profile{};
    tagContactGroupInfo group{};
    tagEventInfo event{};
    tagTaskInfo task{};
    tagIM im{};
    tagMostFrequentlyPlayedMusic entry{};
    tagSyncAlbumItem album{};
    Bstr id, one(u"1"), empty(u"");
    RecordArray<tagMostFrequentlyPlayedMusic> top;
    LONG n = 0;
    VARIANT_BOOL exists = 0;
    const ErrorCall cases[] = {
        {"profile without a name", [&](LONG* e) { return profiles->AddProfile(e, &profile, &id); }},
        {"profile renamed to nothing", [&](LONG* e) { return profiles->ModifyProfileByID(e, one, &profile); }},
        {"profile without ID output", [&](LONG* e) { return profiles->AddProfile(e, &profile, nullptr); }},
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
    ExpectEachFails(cases, E_INVALIDARG, PIMERR_INVALID_ARGUMENT, NullErrorPointer::AlsoFails);
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
