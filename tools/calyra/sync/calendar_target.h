// The events and tasks of the current profile as the local side of a
// calendar's or task list's sync, compared by their fingerprints
// (local_fingerprints.h). A server item is one UID: an event with
// the entries of its replaced occurrences, or a task. Items are read and
// written through the client's calendar import and export, so a server
// item is matched and stored the way `events import` / `tasks import` do
// it (UID first, then content), keeps its UID and entry in the side store,
// and goes back out as the stored fields laid over that entry (properties
// the records have no place for travel on as they came).
//
// Local IDs name the family and the row ("event:12", "task:7"). A profile
// may be bound to several calendars: each holds the items its sync state
// names, and items made here go to the calendar that is their kind's home
// (the first bound one that takes the kind), never to one whose items
// another calendar already holds.
//
// A changed server item replaces the stored series with exactly what it
// carries: the master, its excluded dates and its replaced occurrences (one
// the server no longer has is removed here too).
//
// Ownership: borrows the session and the sync state, which must outlive it.
// Thread-safety: one thread, like the session.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "interchange/calendar_item.h"
#include "sync/store_target.h"

namespace calyra::sync {

struct CalendarKinds {
    bool events = false;
    bool tasks = false;
};

class CalendarTarget : public StoreTarget {
public:
    // `holds`: the kinds the collection takes; `home`: the kinds whose new
    // local items go to it; `elsewhere`: local IDs other bound calendars hold.
    CalendarTarget(cli::Session& session, SyncState& state, std::string collection, CalendarKinds holds,
                   CalendarKinds home, std::set<std::string> elsewhere);
    ~CalendarTarget() override;

    void localItems(const std::function<void(std::vector<LocalItem>& chunk)>& visit) override;
    std::string exportItem(const std::string& id) override;
    std::vector<Stored> importItems(const std::vector<Incoming>& items) override;
    void removeItem(const std::string& id) override;

private:
    std::string m_profile;
    CalendarKinds m_holds, m_home;
    std::set<std::string> m_elsewhere;
};

// The kinds a calendar takes from the components it lists (all when it
// lists none).
CalendarKinds KindsOf(const std::vector<std::string>& components);

}  // namespace calyra::sync
