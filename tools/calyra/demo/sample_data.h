// The sample data that `calyra demo` writes into its "Demo phone" profile,
// one table per family, so the whole sample reads in one place and the
// code that writes it holds no data of its own.
//
// Dates of events and tasks are days of the current month (1..28, so every
// month has them) and minutes after midnight, UTC; the demo turns them into
// dates when it runs. Contacts, groups and categories refer to each other by
// name. Type numbers of the sync settings are sample values: what a type
// means belongs to the synchronising program.
//
// Ownership: static, constant data; texts are UTF-8 literals.
// Thread-safety: read-only.
#pragma once

#include <array>
#include <span>

#include "idl/calyra_idl.h"

namespace calyra::cli {

inline constexpr const char* kDemoProfileName = "Demo phone";

struct DemoContact {
    const char* firstName;
    const char* lastName;
    const char* company;    // nullptr: none
    const char* jobTitle;   // nullptr: none
    const char* birthday;   // "YYYY-MM-DD" or nullptr
    const char* mobile;     // nullptr: none
    const char* workPhone;  // nullptr: none
    const char* email;
    const char* street;
    const char* city;
    const char* zipCode;
    const char* country;
    const char* webUrl;      // nullptr: none
    const char* imAddress;   // nullptr: none
    const char* imProtocol;  // with imAddress
};

struct DemoGroup {
    const char* name;
    std::array<const char*, 4> members;  // "First Last" of DemoContact; nullptr ends the list
};

struct DemoCategory {
    const char* name;
    ULONG color;  // 0x00BBGGRR
    bool toBeSynced;
    bool selected;
};

// A single event, or (weeklyOn >= 0) a weekly series whose first meeting
// is on that weekday (0 = Sunday) in the first week of the month; `day` is
// then unused. A series may move one meeting (the exception).
struct DemoEvent {
    const char* subject;
    const char* category;  // DemoCategory name
    enumEventCategory kind;
    const char* location;
    int day;
    int startMinute;  // after midnight; all-day events ignore it
    int minutes;
    bool allDay;
    int weeklyOn;              // -1: single event
    int movedMeeting;          // series: which meeting (1 = first) is moved; 0: none
    int movedByDays;           // the moved meeting: days later than planned
    int movedStartMinute;      // and its new start
    const char* movedSubject;  // and its subject
};

struct DemoTask {
    const char* subject;
    enumTaskStatus status;
    ULONG completePercent;
    enumTaskPriority priority;
    enumTaskCategory category;
    int startDay;
    int dueDay;
    int completedDay;  // 0: not completed
    const char* description;
};

struct DemoSyncOptions {
    LONG type;
    enumSyncGroupOption groupOption;
    std::array<LONG, 8> extra;  // lOptionEx0..7
};

struct DemoSyncAlbum {
    LONG type;
    const char* name;
    LONG option;
};

// Played files live under the demo's media folder beside the database, so
// that the top lists (which drop entries whose file is gone) show them.
struct DemoMusicPlay {
    const char* file;  // relative to the media folder
    const char* album;
    const char* title;
    const char* artist;
    int plays;
};

struct DemoPodcastPlay {
    const char* file;
    const char* album;
    const char* episode;
    const char* time;
    const char* releaseDate;
    const char* description;
    int plays;
};

struct DemoSample {
    std::span<const DemoContact> contacts;
    std::span<const DemoGroup> groups;
    std::span<const DemoCategory> categories;
    std::span<const DemoEvent> events;
    std::span<const DemoTask> tasks;
    std::span<const DemoSyncOptions> syncOptions;
    std::span<const DemoSyncAlbum> syncAlbums;
    std::span<const DemoMusicPlay> music;
    std::span<const DemoPodcastPlay> podcasts;
};

const DemoSample& TheDemoSample();

}  // namespace calyra::cli
