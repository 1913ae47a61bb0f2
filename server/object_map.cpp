// The classes this module creates: one line per C++ class, in any order;
// each says which class of the type library it implements through its
// CComCoClass base.
#include "server/object_map.h"

#include "access/calendar/event_access.h"
#include "access/calendar/event_category_access.h"
#include "access/contacts/contact_access.h"
#include "access/contacts/contact_group_access.h"
#include "access/playstats/most_frequently_played_music.h"
#include "access/playstats/most_frequently_played_podcast.h"
#include "access/profiles/profile_access.h"
#include "access/sync/sync_option.h"
#include "access/tasks/task_access.h"
#include "core/pim_db_access.h"
#include "management/pim_management.h"

namespace calyra {
namespace {

constexpr auto kObjectMap =
    MakeObjectMap<CPimManagement, CProfileAccess, CPimDbAccess, CContactGroupAccess, CEventCategoryAccess, CEventAccess,
                  CTaskAccess, CContactAccess, CSyncOption, CMostFrequentlyPlayedMusic, CMostFrequentlyPlayedPodcast>();

}  // namespace

std::span<const ObjectMapEntry> ObjectMap() { return kObjectMap; }

}  // namespace calyra
