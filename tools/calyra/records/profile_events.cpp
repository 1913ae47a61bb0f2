#include "records/profile_events.h"

#include <cstdio>

#include "access/calendar/event_columns.h"
#include "platform/bstr.h"
#include "platform/variant_time.h"

namespace calyra::cli {
namespace {

// The date text the component stores ("YYYY-MM-DD hh:mm:ss"), so range
// conditions compare texts as the component's own range lists do.
std::u16string DateText(DATE date) {
    SYSTEMTIME st{};
    if (!VariantTimeToSystemTime(date, &st)) st = SYSTEMTIME{};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    return Utf8ToUtf16(text);
}

std::u16string EventSelect(Session& session) {
    return u"SELECT " + SelectList(calyra::kEventColumns) + u", [OriginalEventID] FROM [tEvent] WHERE [ProfileID] = " +
           SqlQuoted(session.profileId());
}

}  // namespace

ProfileEvents::ProfileEvents(Session& session, std::optional<DateRange> range) {
    IPimDbAccess* db = session.connection();
    std::u16string masters = EventSelect(session) + u" AND [OriginalEventID] = '0'";
    if (range)
        // Patterns 1 to 4 repeat; any other number shows once, at its own time.
        masters += u" AND ([PatternOption] IN ('1', '2', '3', '4') OR ([StartDateTime] <= " +
                   SqlQuoted(DateText(range->to)) + u" AND [EndDateTime] >= " + SqlQuoted(DateText(range->from)) +
                   u"))";
    m_masters = RecordRows<tagEventInfo>::Query(db, masters + u" ORDER BY [EventID];", calyra::kEventColumns, 1);
    m_exceptions = RecordRows<tagEventInfo>::Query(
        db, EventSelect(session) + u" AND [OriginalEventID] <> '0' ORDER BY [EventID];", calyra::kEventColumns, 1);
    for (size_t i = 0; i < m_exceptions.size(); ++i) m_byMaster[m_exceptions.extra(i, 0)].push_back(&m_exceptions[i]);
}

const std::vector<const tagEventInfo*>& ProfileEvents::exceptionsOf(const std::string& id) const {
    static const std::vector<const tagEventInfo*> kNone;
    auto it = m_byMaster.find(id);
    return it == m_byMaster.end() ? kNone : it->second;
}

}  // namespace calyra::cli
