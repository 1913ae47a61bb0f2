// Writes the demo's sample data into the current profile through the
// component's interfaces, adding only what is missing.
#include "demo/fill.h"

#include <fstream>
#include <map>
#include <set>

#include "idl/owned_record.h"
#include "platform/bstr.h"
#include "session/client_error.h"
#include "session/user_time.h"

namespace calyra::cli {

using namespace calendar;
namespace {

// Replaces a text field of a record the demo owns (OwnedRecord frees it).
void Put(BSTR& field, const char* text) {
    SysFreeString(field);
    field = text ? Bstr::FromUtf8(text).Detach() : nullptr;
}
void Put(BSTR& field, const std::string& text) { Put(field, text.c_str()); }

template <class R, class Get>
std::map<std::string, std::string> IdsByName(Get get, BSTR R::*name, BSTR R::*id, const std::string& what) {
    LONG err = 0, count = 0;
    OwnedRecordArray<R> all;
    Check(get(&err, &count, &all), err, "cannot list the " + what);
    std::map<std::string, std::string> out;
    for (const auto& r : all) out.emplace(BstrUtf8(r.*name), BstrUtf8(r.*id));
    return out;
}

// Days of the current month (UTC) as dates.
class DemoMonth {
public:
    DemoMonth() : m_first(ToCivil(ParseIsoDate("today"))) { m_first.day = 1; }
    DATE at(int day, int minute, int second = 0) const {
        CivilDate c = m_first;
        c.day = day;
        c.hour = minute / 60;
        c.minute = minute % 60;
        c.second = second;
        return FromCivil(c);
    }
    // The first day of the month that falls on `weekday` (0 = Sunday).
    int firstWeekday(int weekday) const { return 1 + (weekday - DayOfWeek(at(1, 0)) + 7) % 7; }

private:
    CivilDate m_first;
};

// ---- Contacts and groups -----------------------------------------------------

std::string FullName(const DemoContact& c) { return std::string(c.firstName) + " " + c.lastName; }

template <class R, class Add>
void AddDetail(Add add, const std::string& contactId, R& detail, const std::string& what) {
    LONG err = 0;
    Bstr id;
    Check(add(&err, Bstr::FromUtf8(contactId), &detail, &id), err, "cannot add the sample " + what);
}

std::string AddContact(IContactAccess* contacts, const DemoContact& c) {
    OwnedRecord<tagContactInfo> info;
    Put(info.bstrFirstName, c.firstName);
    Put(info.bstrLastName, c.lastName);
    Put(info.bstrCompanyName, c.company);
    Put(info.bstrJobTitle, c.jobTitle);
    if (c.birthday) info.dtBirthday = ParseIsoDate(c.birthday);
    LONG err = 0;
    Bstr id;
    Check(contacts->AddContact(&err, &info, &id), err, "cannot add the sample contact " + FullName(c));
    const std::string contactId = id.utf8();

    auto phones = [contacts](auto... a) { return contacts->AddPhoneNumberToContact(a...); };
    for (auto [number, location, type, primary] :
         {std::tuple{c.mobile, enumLocationType_Home, enumPhoneNumberType_Mobile, true},
          std::tuple{c.workPhone, enumLocationType_Work, enumPhoneNumberType_Other, false}}) {
        if (!number) continue;
        OwnedRecord<tagPhoneNumber> phone;
        phone.eLocationType = location;
        phone.ePhoneNumberType = type;
        phone.bPrimary = primary;
        Put(phone.bstrPhoneNumber, number);
        AddDetail<tagPhoneNumber>(phones, contactId, phone, "phone number");
    }
    OwnedRecord<tagEmail> email;
    email.eLocationType = enumLocationType_Home;
    email.bPrimary = 1;
    Put(email.bstrEmail, c.email);
    AddDetail<tagEmail>([contacts](auto... a) { return contacts->AddEmailToContact(a...); }, contactId, email,
                        "e-mail address");
    OwnedRecord<tagAddress> address;
    address.eLocationType = enumLocationType_Home;
    address.bPrimary = 1;
    Put(address.bstrStreet, c.street);
    Put(address.bstrCity, c.city);
    Put(address.bstrZipCode, c.zipCode);
    Put(address.bstrCountry, c.country);
    AddDetail<tagAddress>([contacts](auto... a) { return contacts->AddAddressToContact(a...); }, contactId, address,
                          "address");
    if (c.webUrl) {
        OwnedRecord<tagWebUrl> web;
        web.eLocationType = enumLocationType_Home;
        web.bPrimary = 1;
        Put(web.bstrWebUrl, c.webUrl);
        AddDetail<tagWebUrl>([contacts](auto... a) { return contacts->AddWebUrlToContact(a...); }, contactId, web,
                             "web address");
    }
    if (c.imAddress) {
        OwnedRecord<tagIM> im;
        im.eLocationType = enumLocationType_Home;
        im.bPrimary = 1;
        Put(im.bstrAddress, c.imAddress);
        Put(im.bstrProtocol, c.imProtocol);
        AddDetail<tagIM>([contacts](auto... a) { return contacts->AddIMToContact(a...); }, contactId, im,
                         "instant-messaging address");
    }
    return contactId;
}

void FillContactsAndGroups(Session& session, const DemoSample& sample, Json& added) {
    auto contacts = session.access<IContactAccess>();
    // Contacts are recognised by first and last name together.
    std::map<std::string, std::string> ids;
    {
        LONG err = 0, count = 0;
        OwnedRecordArray<tagContactInfo> all;
        Check(contacts->GetAllContacts(&err, &count, &all), err, "cannot list the contacts");
        for (const auto& c : all)
            ids.emplace(BstrUtf8(c.bstrFirstName) + " " + BstrUtf8(c.bstrLastName), BstrUtf8(c.bstrContactID));
    }
    int newContacts = 0;
    for (const auto& c : sample.contacts)
        if (!ids.count(FullName(c))) ids[FullName(c)] = AddContact(contacts.get(), c), ++newContacts;
    added["contacts"] = newContacts;

    auto groups = session.access<IContactGroupAccess>();
    auto groupIds = IdsByName<tagContactGroupInfo>(
        [&](LONG* e, LONG* n, SAFEARRAY** a) { return groups->GetAllContactGroups(e, n, a); },
        &tagContactGroupInfo::bstrContactGroupName, &tagContactGroupInfo::bstrContactGroupID, "contact groups");
    int newGroups = 0, newMembers = 0;
    for (const auto& g : sample.groups) {
        LONG err = 0;
        if (!groupIds.count(g.name)) {
            OwnedRecord<tagContactGroupInfo> info;
            Put(info.bstrContactGroupName, g.name);
            info.bToBeSynced = 1;
            Bstr id;
            Check(groups->AddContactGroup(&err, &info, &id), err, std::string("cannot add the sample group ") + g.name);
            groupIds[g.name] = id.utf8();
            ++newGroups;
        }
        const Bstr groupId = Bstr::FromUtf8(groupIds[g.name]);
        std::set<std::string> members;
        LONG count = 0;
        OwnedRecordArray<tagContactInfo> inGroup;
        Check(contacts->GetContactsByContactGroupID(&err, groupId, &count, &inGroup), err,
              std::string("cannot list the members of ") + g.name);
        for (const auto& c : inGroup) members.insert(BstrUtf8(c.bstrContactID));
        for (const char* name : g.members) {
            if (!name) break;
            auto it = ids.find(name);
            if (it == ids.end() || members.count(it->second)) continue;
            Check(contacts->AddContactToContactGroup(&err, Bstr::FromUtf8(it->second), groupId, VARIANT_TRUE), err,
                  std::string("cannot add ") + name + " to " + g.name);
            ++newMembers;
        }
    }
    added["groups"] = newGroups;
    added["group_members"] = newMembers;
}

// ---- Calendar and tasks ------------------------------------------------------

std::map<std::string, std::string> FillCategories(Session& session, const DemoSample& sample, Json& added) {
    auto categories = session.access<IEventCategoryAccess>();
    auto ids = IdsByName<tagEventCategoryInfo>(
        [&](LONG* e, LONG* n, SAFEARRAY** a) { return categories->GetAllEventCategories(e, n, a); },
        &tagEventCategoryInfo::bstrEventCategoryName, &tagEventCategoryInfo::bstrEventCategoryID, "event categories");
    int count = 0;
    for (const auto& c : sample.categories) {
        if (ids.count(c.name)) continue;
        OwnedRecord<tagEventCategoryInfo> info;
        Put(info.bstrEventCategoryName, c.name);
        info.ulColor = c.color;
        info.bToBeSynced = c.toBeSynced;
        info.bIsSelected = c.selected;
        LONG err = 0;
        Bstr id;
        Check(categories->AddEventCategory(&err, &info, &id), err, std::string("cannot add the category ") + c.name);
        ids[c.name] = id.utf8();
        ++count;
    }
    added["event_categories"] = count;
    return ids;
}

void FillEvents(Session& session, const DemoSample& sample, const DemoMonth& month,
                const std::map<std::string, std::string>& categoryIds, Json& added) {
    auto events = session.access<IEventAccess>();
    std::set<std::string> subjects;
    for (const auto& [subject, id] :
         IdsByName<tagEventInfo>([&](LONG*e, LONG*n, SAFEARRAY**a) { return events->GetAllEvents(e, n, a); },
                                 &tagEventInfo::bstrSubject, &tagEventInfo::bstrEventID, "events"))
        subjects.insert(subject);
    int newEvents = 0, newExceptions = 0;
    for (const auto& e : sample.events) {
        if (subjects.count(e.subject)) continue;
        const bool weekly = e.weeklyOn >= 0;
        const int day = weekly ? month.firstWeekday(e.weeklyOn) : e.day;
        OwnedRecord<tagEventInfo> info;
        Put(info.bstrSubject, e.subject);
        Put(info.bstrLocation, e.location);
        if (auto it = categoryIds.find(e.category); it != categoryIds.end()) Put(info.bstrEventCategoryID, it->second);
        info.eCategory = e.kind;
        info.eStatus = enumEventStatus_Confirmed;
        info.eAvailability = e.allDay ? enumAvailability_Free : enumAvailability_Busy;
        info.ePriority = enumEventPriority_Normal;
        info.bAllDayEvent = e.allDay;
        info.lReminderTime = e.allDay ? 0 : 15;
        info.dtStartDateTime = month.at(day, e.allDay ? 0 : e.startMinute);
        info.dtEndDateTime = e.allDay ? month.at(day, 23 * 60 + 59, 59) : month.at(day, e.startMinute + e.minutes);
        if (weekly) {
            auto& r = info.stRecurrence;
            r.ePattern = enumRecurrencePattern_Weekly;
            r.Weekly.lEveryXWeeks = 1;
            r.Weekly.lDays = 1 << e.weeklyOn;  // bit 0 Sunday ... bit 6 Saturday
            r.dtStart = info.dtStartDateTime;
            r.eEnd = enumRecurrenceEnd_None;
        }
        LONG err = 0;
        Bstr id;
        Check(events->AddEvent(&err, &info, &id), err, std::string("cannot add the event ") + e.subject);
        ++newEvents;
        if (!weekly || e.movedMeeting <= 0) continue;

        // One meeting of the series moved: an exception that replaces it.
        const int plannedDay = day + 7 * (e.movedMeeting - 1);
        OwnedRecord<tagEventInfo> moved;
        Put(moved.bstrSubject, e.movedSubject);
        Put(moved.bstrLocation, e.location);
        moved.bstrEventCategoryID = Bstr::Copy(info.bstrEventCategoryID);
        moved.eCategory = e.kind;
        moved.eAvailability = enumAvailability_Busy;
        moved.ePriority = enumEventPriority_Normal;
        moved.lReminderTime = 15;
        moved.dtOriginalStartTime = month.at(plannedDay, e.startMinute);
        moved.dtStartDateTime = month.at(plannedDay + e.movedByDays, e.movedStartMinute);
        moved.dtEndDateTime = month.at(plannedDay + e.movedByDays, e.movedStartMinute + e.minutes);
        Bstr exceptionId;
        Check(events->AddException(&err, id, &moved, &exceptionId), err,
              std::string("cannot add the exception of ") + e.subject);
        ++newExceptions;
    }
    added["events"] = newEvents;
    added["event_exceptions"] = newExceptions;
}

void FillTasks(Session& session, const DemoSample& sample, const DemoMonth& month, Json& added) {
    auto tasks = session.access<ITaskAccess>();
    auto existing = IdsByName<tagTaskInfo>([&](LONG* e, LONG* n, SAFEARRAY** a) { return tasks->GetAllTasks(e, n, a); },
                                           &tagTaskInfo::bstrSubject, &tagTaskInfo::bstrTaskID, "tasks");
    int count = 0;
    for (const auto& t : sample.tasks) {
        if (existing.count(t.subject)) continue;
        OwnedRecord<tagTaskInfo> info;
        Put(info.bstrSubject, t.subject);
        Put(info.bstrDescription, t.description);
        info.eTaskStatus = t.status;
        info.ulCompletePercent = t.completePercent;
        info.eTaskPriority = t.priority;
        info.eTaskCategory = t.category;
        info.dtStartDate = month.at(t.startDay, 9 * 60);
        info.dtEndDate = month.at(t.dueDay, 17 * 60);
        if (t.completedDay > 0) info.dtDateCompleted = month.at(t.completedDay, 18 * 60);
        LONG err = 0;
        Bstr id;
        Check(tasks->AddTask(&err, &info, &id), err, std::string("cannot add the task ") + t.subject);
        ++count;
    }
    added["tasks"] = count;
}

// ---- Sync settings and play statistics ---------------------------------------

void FillSync(Session& session, const DemoSample& sample, Json& added) {
    auto sync = session.access<ISyncOption>();
    int options = 0, albums = 0;
    for (const auto& o : sample.syncOptions) {
        OwnedRecord<tagSyncOptions> stored;
        LONG err = 0;
        Check(sync->GetSyncOption(&err, o.type, &stored), err, "cannot read the sync options");
        const std::array<LONG, 8> extra{stored.lOptionEx0, stored.lOptionEx1, stored.lOptionEx2, stored.lOptionEx3,
                                        stored.lOptionEx4, stored.lOptionEx5, stored.lOptionEx6, stored.lOptionEx7};
        // All zeros is what a type never set reads as; settings someone
        // chose are kept.
        if (stored.eGroupOption != 0 || extra != std::array<LONG, 8>{}) continue;
        OwnedRecord<tagSyncOptions> wanted;
        wanted.lType = o.type;
        wanted.eGroupOption = o.groupOption;
        LONG* fields[] = {&wanted.lOptionEx0, &wanted.lOptionEx1, &wanted.lOptionEx2, &wanted.lOptionEx3,
                          &wanted.lOptionEx4, &wanted.lOptionEx5, &wanted.lOptionEx6, &wanted.lOptionEx7};
        for (size_t i = 0; i < o.extra.size(); ++i) *fields[i] = o.extra[i];
        Check(sync->UpdateSyncOption(&err, o.type, &wanted), err, "cannot store the sync options");
        ++options;
    }
    for (const auto& a : sample.syncAlbums) {
        LONG err = 0, count = 0;
        OwnedRecordArray<tagSyncAlbumItem> list;
        Check(sync->GetSyncAlbums(&err, a.type, &count, &list), err, "cannot list the sync albums");
        bool present = false;
        for (const auto& item : list) present = present || BstrUtf8(item.bstrAlbumName) == a.name;
        if (present) continue;
        OwnedRecord<tagSyncAlbumItem> item;
        item.lType = a.type;
        item.lOption = a.option;
        Put(item.bstrAlbumName, a.name);
        Check(sync->AddSyncAlbum(&err, a.type, &item), err, std::string("cannot add the sync album ") + a.name);
        ++albums;
    }
    added["sync_options"] = options;
    added["sync_albums"] = albums;
}

// Makes an empty stand-in for a played file, so the top lists keep it.
void EnsureFile(const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) return;
    std::filesystem::create_directories(file.parent_path(), ec);
    std::ofstream create(file);
    if (!create) throw ClientError("cannot create the sample file " + file.string());
}

// Counts `plays` plays of an entry the first time only.
template <class Interface, class R>
bool PlayOnce(Interface* stats, HRESULT (Interface::*query)(LONG*, R*, VARIANT_BOOL*),
              HRESULT (Interface::*update)(LONG*, R*), OwnedRecord<R>& entry, int plays) {
    LONG err = 0;
    OwnedRecord<R> probe;
    probe.bstrFullPath = Bstr::Copy(entry.bstrFullPath);
    VARIANT_BOOL found = VARIANT_FALSE;
    Check((stats->*query)(&err, &probe, &found), err, "cannot look up a play entry");
    if (found) return false;
    for (int i = 0; i < plays; ++i)
        Check((stats->*update)(&err, &entry), err, "cannot record a play of " + BstrUtf8(entry.bstrFullPath));
    return true;
}

void FillPlays(Session& session, const DemoSample& sample, const std::filesystem::path& media, Json& added) {
    auto music = session.access<IMostFrequentlyPlayedMusic>();
    int files = 0;
    for (const auto& m : sample.music) {
        const auto file = media / m.file;
        EnsureFile(file);
        OwnedRecord<tagMostFrequentlyPlayedMusic> entry;
        Put(entry.bstrFullPath, file.string());
        Put(entry.bstrAlbum, m.album);
        Put(entry.bstrTitle, m.title);
        Put(entry.bstrArtist, m.artist);
        files += PlayOnce(music.get(), &IMostFrequentlyPlayedMusic::QueryMfpmEntry,
                          &IMostFrequentlyPlayedMusic::UpdateMostFrequentlyPlayedMusic, entry, m.plays);
    }
    added["music_files"] = files;

    auto podcasts = session.access<IMostFrequentlyPlayedPodcast>();
    int episodes = 0;
    for (const auto& p : sample.podcasts) {
        const auto file = media / p.file;
        EnsureFile(file);
        OwnedRecord<tagMostFrequentlyPlayedPodcast> entry;
        Put(entry.bstrFullPath, file.string());
        Put(entry.bstrAlbum, p.album);
        Put(entry.bstrEpisode, p.episode);
        Put(entry.bstrTime, p.time);
        Put(entry.bstrReleaseDate, p.releaseDate);
        Put(entry.bstrDescription, p.description);
        episodes += PlayOnce(podcasts.get(), &IMostFrequentlyPlayedPodcast::QueryMfppEntry,
                             &IMostFrequentlyPlayedPodcast::UpdateMostFrequentlyPlayedPodcast, entry, p.plays);
    }
    added["podcast_episodes"] = episodes;
}

}  // namespace

Json FillDemoProfile(Session& session, const DemoSample& sample, const std::filesystem::path& media) {
    const DemoMonth month;
    Json added = Json::object();
    FillContactsAndGroups(session, sample, added);
    const auto categoryIds = FillCategories(session, sample, added);
    FillEvents(session, sample, month, categoryIds, added);
    FillTasks(session, sample, month, added);
    FillSync(session, sample, added);
    FillPlays(session, sample, media, added);
    return added;
}

}  // namespace calyra::cli
