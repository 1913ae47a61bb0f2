// The classes this module creates. One line per class, in the order of
// kClassRegistrations.
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

constexpr ObjectMapEntry kObjectMap[] = {
    ObjectEntry<CPimManagement>(),
    ObjectEntry<CProfileAccess>(),
    ObjectEntry<CPimDbAccess>(),
    ObjectEntry<CContactGroupAccess>(),
    ObjectEntry<CEventCategoryAccess>(),
    ObjectEntry<CEventAccess>(),
    ObjectEntry<CTaskAccess>(),
    ObjectEntry<CContactAccess>(),
    ObjectEntry<CSyncOption>(),
    ObjectEntry<CMostFrequentlyPlayedMusic>(),
    ObjectEntry<CMostFrequentlyPlayedPodcast>(),
};
static_assert(InRegistrationOrder(kObjectMap), "object map entries must follow the registration table's order");

}  // namespace

std::span<const ObjectMapEntry> ObjectMap() { return kObjectMap; }

}  // namespace calyra
