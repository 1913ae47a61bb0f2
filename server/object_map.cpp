// The classes this module creates. One line per class, in the order of
// kClassRegistrations.
#include "server/object_map.h"

#include "access/profiles/profile_access.h"
#include "core/pim_db_access.h"
#include "management/pim_management.h"

namespace calyra {
namespace {

constexpr ObjectMapEntry kObjectMap[] = {
    ObjectEntry<CPimManagement>(),
    ObjectEntry<CProfileAccess>(),
    ObjectEntry<CPimDbAccess>(),
};
static_assert(InRegistrationOrder(kObjectMap), "object map entries must follow the registration table's order");

}  // namespace

std::span<const ObjectMapEntry> ObjectMap() { return kObjectMap; }

}  // namespace calyra
