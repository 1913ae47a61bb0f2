// The demo's sample data (see demo_sample_data.h for how to read it).
// Phone numbers are from ranges set aside for fiction; e-mail and web
// addresses use the example domains.
#include "demo/sample_data.h"

namespace calyra::cli {
namespace {

constexpr DemoContact kContacts[] = {
    // first       last        company                  job title            birthday
    //   mobile              work phone          e-mail
    //   street                     city         zip         country
    //   web                                 IM address / protocol
    {"Ada", "Lovelace", "Analytical Engines Ltd", "Chief Mathematician", "1815-12-10", "+44 7700 900018",
     "+44 20 7946 0018", "ada@example.org", "12 St James's Square", "London", "SW1Y 4JH", "United Kingdom",
     "https://example.org/ada", nullptr, nullptr},
    {"Grace", "Hopper", "Harbor Compilers Inc.", "Rear Admiral of Code", "1906-12-09", "+1 202 555 0143",
     "+1 202 555 0199", "grace@example.com", "1 Harbor Way", "Arlington", "22201", "United States", nullptr,
     "grace.hopper@example.com", "xmpp"},
    {"Zoë", "O'Brien", "Harbor Compilers Inc.", "Designer", nullptr, "+353 85 555 0127", nullptr,
     "zoe.obrien@example.net", "4 Grafton Street", "Dublin", "D02 X285", "Ireland", "https://example.net/zoe", nullptr,
     nullptr},
    {"健二", "渡辺", "Sakura Telecom", "Engineer", "1988-04-02", "+81 90 5555 0182", nullptr, "kenji@example.jp",
     "1-2-3 Shibuya", "Tokyo", "150-0002", "Japan", nullptr, "kenji_w", "skype"},
    {"Maria", "Rossi", nullptr, nullptr, "1956-06-21", "+39 333 555 0101", nullptr, "maria.rossi@example.it",
     "Via Roma 10", "Bologna", "40121", "Italy", nullptr, nullptr, nullptr},
    {"Luca", "Rossi", "Rossi & Figli", "Carpenter", "1984-09-30", "+39 333 555 0102", "+39 051 555 0110",
     "luca@example.it", "Via Emilia 200", "Modena", "41121", "Italy", "https://example.it/rossi", nullptr, nullptr},
};

constexpr DemoGroup kGroups[] = {
    {"Family", {"Maria Rossi", "Luca Rossi", nullptr, nullptr}},
    {"Work", {"Ada Lovelace", "Grace Hopper", "Zoë O'Brien", nullptr}},
};

constexpr DemoCategory kCategories[] = {
    // name        colour       synced  selected
    {"Work", 0x00D77800, true, true},
    {"Personal", 0x0050AF4C, true, true},
    {"Family", 0x000098FF, false, true},
};

constexpr DemoEvent kEvents[] = {
    // subject, category, kind, location, day, start, minutes, all day,
    //   weekly on, moved meeting, moved by days, moved start, moved subject
    {"Team meeting", "Work", enumEventCategory_Meeting, "Room 4", 0, 10 * 60, 60, false, 2, 2, 1, 14 * 60,
     "Team meeting (moved to Wednesday)"},
    {"Dentist", "Personal", enumEventCategory_Appointment, "Smile Clinic", 6, 8 * 60 + 30, 45, false, -1, 0, 0, 0,
     nullptr},
    {"Lunch with Grace", "Work", enumEventCategory_Lunch, "Harbor Café", 11, 12 * 60 + 30, 75, false, -1, 0, 0, 0,
     nullptr},
    {"Mum's birthday", "Family", enumEventCategory_Birthday, nullptr, 21, 0, 0, true, -1, 0, 0, 0, nullptr},
    {"Concert: Bach cello suites", "Personal", enumEventCategory_Entertainment, "City Hall", 25, 19 * 60 + 30, 120,
     false, -1, 0, 0, 0, nullptr},
};

constexpr DemoTask kTasks[] = {
    // subject, status, %, priority, category, start day, due day, completed day, description
    {"Renew passport", enumTaskStatus_Finished, 100, enumTaskPriority_High, enumTaskCategory_Travel, 2, 9, 8,
     "Photos and the old passport"},
    {"Book summer holiday", enumTaskStatus_InProgress, 40, enumTaskPriority_Normal, enumTaskCategory_Travel, 4, 20, 0,
     "Compare the two cottages"},
    {"Buy Mum's birthday present", enumTaskStatus_NotStarted, 0, enumTaskPriority_High, enumTaskCategory_Gifts, 14, 20,
     0, "She mentioned gardening gloves"},
    {"Back up the phone", enumTaskStatus_NotStarted, 0, enumTaskPriority_Low, enumTaskCategory_Miscellaneous, 1, 28, 0,
     nullptr},
};

constexpr DemoSyncOptions kSyncOptions[] = {
    {0, enumSyncGroupOption_All, {1, 0, 0, 0, 0, 0, 0, 0}},
    {1, enumSyncGroupOption_Groups, {30, 1, 0, 0, 0, 0, 0, 0}},
};

constexpr DemoSyncAlbum kSyncAlbums[] = {
    {0, "Road trip", 0},
    {0, "Morning run", 1},
};

constexpr DemoMusicPlay kMusic[] = {
    {"Music/Field Recordings/01 Rain on the Roof.mp3", "Field Recordings", "Rain on the Roof", "The Quiet Hours", 7},
    {"Music/Field Recordings/02 Harbour at Dawn.mp3", "Field Recordings", "Harbour at Dawn", "The Quiet Hours", 4},
    {"Music/Night Shift/03 Neon Tram.mp3", "Night Shift", "Neon Tram", "Ada & the Engines", 5},
    {"Music/Night Shift/07 Last Train Home.mp3", "Night Shift", "Last Train Home", "Ada & the Engines", 1},
};

constexpr DemoPodcastPlay kPodcasts[] = {
    {"Podcasts/Compilers at Sea/ep12.mp3", "Compilers at Sea", "Ep. 12: Bugs in the relay", "42:10", "2024-03-01",
     "Where the first bug came from", 3},
    {"Podcasts/Compilers at Sea/ep13.mp3", "Compilers at Sea", "Ep. 13: Nanoseconds", "38:55", "2024-03-15",
     "A length of wire you can hold", 1},
    {"Podcasts/Kitchen Physics/ep4.mp3", "Kitchen Physics", "Why bread rises", "27:30", "2024-02-20",
     "Yeast, gas and patience", 2},
};

constexpr DemoSample kSample{kContacts,    kGroups,     kCategories, kEvents,  kTasks,
                             kSyncOptions, kSyncAlbums, kMusic,      kPodcasts};

}  // namespace

const DemoSample& TheDemoSample() { return kSample; }

}  // namespace calyra::cli
