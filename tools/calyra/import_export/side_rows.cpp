#include "import_export/side_rows.h"

#include "import_export/calendar_items.h"
#include "import_export/contact_cards.h"
#include "platform/utf8.h"

namespace calyra::cli {

std::optional<std::string> StoredItemHash(Session& session, ItemFamily family, const std::string& id) {
    switch (family) {
        case ItemFamily::Contact:
            return StoredContactHash(session, id);
        case ItemFamily::Event:
            return StoredCalendarHash(session, false, id);
        case ItemFamily::Task:
            return StoredCalendarHash(session, true, id);
        case ItemFamily::Group:
            break;
    }
    return std::nullopt;
}

void KeepSideRowCurrent(Session& session, ItemFamily family, const std::string& id) {
    SideStore side(session);
    if (!side.present()) return;
    // (A gone item's row is no longer found: reads see only rows whose item exists.)
    const std::optional<std::string> hash = StoredItemHash(session, family, id);
    if (!hash) return side.erase(family, id);
    std::optional<SideItem> kept = side.find(family, id);
    if (!kept || *hash == kept->hash) return;
    kept->hash = *hash;
    side.put(*kept);
}

SideCheck CheckSideState(Session& session, ItemFamily family, bool repair) {
    SideCheck result;
    SideStore side(session);
    std::vector<SideItem> rehashed;
    side.forEach(Utf16ToUtf8(session.profileId()), family, [&](SideItem& item) {
        const std::optional<std::string> hash = StoredItemHash(session, family, item.rowId);
        if (!hash) return;
        ++result.checked;
        if (*hash == item.hash) return;
        if (!IsOlderHash(item.hash)) result.changed.push_back(item.rowId);
        if (!repair) return;
        item.hash = *hash;
        rehashed.push_back(std::move(item));
    });
    if (repair) side.put(rehashed);
    return result;
}

}  // namespace calyra::cli
