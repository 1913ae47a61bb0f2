#include "interchange/ical_writer.h"

#include <climits>

#include "interchange/content_line.h"
#include "interchange/ical_reader.h"
#include "interchange/text_encoding.h"

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace calyra::interchange {
namespace {

// How much entry text the writer keeps in memory before it moves to its
// temporary file.
constexpr size_t kSpoolInMemory = size_t{1} << 20;

// A date or date-time property made from its text: libical's own
// constructors write every year after 3000 as 00000000T000000, while its
// parser keeps what it reads, up to the 9999 the file format allows. With
// a zone the time is written as its wall time there, with the zone's TZID;
// a time in the hour a clock change repeats, whose wall time a reader takes
// for the hour's first pass, is written in UTC instead.
icalproperty* TimeProperty(const char* name, UtcSeconds t, bool isDate, icaltimezone* zone = nullptr,
                           const std::string& tzid = "") {
    icaltimetype time = icaltime_from_timet_with_zone(static_cast<time_t>(t), 0, icaltimezone_get_utc_timezone());
    bool local = false;
    if (zone && !isDate) {
        const auto wallSeconds = [zone](UtcSeconds moment) {
            const icaltimetype w = icaltime_from_timet_with_zone(static_cast<time_t>(moment), 0, zone);
            return DaysFromCivil(w.year, w.month, w.day) * 86400 + w.hour * 3600 + w.minute * 60 + w.second;
        };
        // A moment whose wall time the zone showed before is the second
        // pass through a repeated hour.
        const UtcSeconds wall = wallSeconds(t);
        const UtcSeconds earlier = wall - (wallSeconds(t - 86400) - (t - 86400));
        local = !(earlier < t && wallSeconds(earlier) == wall);
        if (local) time = icaltime_from_timet_with_zone(static_cast<time_t>(t), 0, zone);
    }
    char line[256];
    if (isDate)
        std::snprintf(line, sizeof line, "%s;VALUE=DATE:%04d%02d%02d", name, time.year, time.month, time.day);
    else if (local)
        std::snprintf(line, sizeof line, "%s;TZID=%s:%04d%02d%02dT%02d%02d%02d", name, tzid.c_str(), time.year,
                      time.month, time.day, time.hour, time.minute, time.second);
    else
        std::snprintf(line, sizeof line, "%s:%04d%02d%02dT%02d%02d%02dZ", name, time.year, time.month, time.day,
                      time.hour, time.minute, time.second);
    return icalproperty_new_from_string(line);
}

void AddTime(icalcomponent* c, const char* name, UtcSeconds t, bool isDate, icaltimezone* zone = nullptr,
             const std::string& tzid = "") {
    if (icalproperty* p = TimeProperty(name, t, isDate, zone, tzid)) icalcomponent_add_property(c, p);
}

// The zone an item's times are written in: its own when it has one the
// zone database knows and is neither all-day nor UTC; else none (UTC).
icaltimezone* WrittenZone(const CalendarItem& item) {
    if (item.allDay || item.timeZone.empty() || item.timeZone.find_first_of(";:\"\r\n") != std::string::npos)
        return nullptr;
    icaltimezone* zone = icaltimezone_get_builtin_timezone(item.timeZone.c_str());
    return zone == icaltimezone_get_utc_timezone() ? nullptr : zone;
}

// The VTIMEZONE of a zone from `from` on (earlier changes are left out, so
// a zone is a few dozen lines instead of a century of history), under the
// TZID the entries use. It starts by 2037 at the latest: libical cuts later
// definitions badly (a year after 3000 becomes 00000000).
std::string ZoneDefinition(icaltimezone* zone, const std::string& tzid, UtcSeconds from) {
    constexpr UtcSeconds kLatestStart = 2114380800;  // 2037-01-01T00:00:00Z
    icalcomponent* c = icalcomponent_new_clone(icaltimezone_get_component(zone));
    if (!c) return "";
    icaltimezone_truncate_vtimezone(c,
                                    icaltime_from_timet_with_zone(static_cast<time_t>(std::min(from, kLatestStart)), 0,
                                                                  icaltimezone_get_utc_timezone()),
                                    icaltime_null_time(), 1);
    if (icalproperty* p = icalcomponent_get_first_property(c, ICAL_TZID_PROPERTY))
        icalproperty_set_tzid(p, tzid.c_str());
    std::string out;
    if (char* text = icalcomponent_as_ical_string_r(c)) {
        out = text;
        icalmemory_free_buffer(text);
    }
    icalcomponent_free(c);
    return out;
}

// Texts without the control characters a file cannot carry: libical would
// drop some of them and keep others.
void AddText(icalcomponent* c, icalproperty* (*make)(const char*), const std::string& text) {
    const std::string clean = WithoutControlCharacters(text);
    if (!clean.empty()) icalcomponent_add_property(c, make(clean.c_str()));
}

// Properties whose value is one of a few words, built from their text so
// the words need no table here.
void AddWord(icalcomponent* c, const char* name, const std::string& word) {
    if (word.empty()) return;
    for (char ch : word)
        if (!(std::isalnum(static_cast<unsigned char>(ch)) || ch == '-')) return;
    std::string line = std::string(name) + ":" + word;
    if (icalproperty* p = icalproperty_new_from_string(line.c_str())) icalcomponent_add_property(c, p);
}

// The trigger `minutes` before the item (after it when negative). libical
// counts a duration's seconds in an int, which a stored reminder of more
// than about 68 years overflows; such a one is written by its parts.
icaldurationtype AlarmOffset(int minutes) {
    const long long seconds = -static_cast<long long>(minutes) * 60;
    if (seconds >= INT_MIN && seconds <= INT_MAX) return icaldurationtype_from_int(static_cast<int>(seconds));
    icaldurationtype d = icaldurationtype_null_duration();
    const unsigned long long m = minutes < 0 ? -static_cast<long long>(minutes) : minutes;
    d.is_neg = minutes > 0 ? 1 : 0;
    d.days = static_cast<unsigned int>(m / 1440);
    d.hours = static_cast<unsigned int>(m % 1440 / 60);
    d.minutes = static_cast<unsigned int>(m % 60);
    return d;
}

// Whether the item's own fields write property `p` (the original's copy
// then gives way to them).
bool WrittenFromFields(icalproperty* p, const CalendarItem& item) {
    const bool todo = item.kind == ItemKind::Todo;
    switch (icalproperty_isa(p)) {
        case ICAL_UID_PROPERTY:
        case ICAL_DTSTAMP_PROPERTY:
        case ICAL_DTSTART_PROPERTY:
        case ICAL_DTEND_PROPERTY:
        case ICAL_DUE_PROPERTY:
        case ICAL_DURATION_PROPERTY:
        case ICAL_RECURRENCEID_PROPERTY:
        case ICAL_SUMMARY_PROPERTY:
        case ICAL_DESCRIPTION_PROPERTY:
        case ICAL_LOCATION_PROPERTY:
        case ICAL_STATUS_PROPERTY:
        case ICAL_PRIORITY_PROPERTY:
        case ICAL_CLASS_PROPERTY:
        case ICAL_TRANSP_PROPERTY:
        case ICAL_RRULE_PROPERTY:
        case ICAL_RDATE_PROPERTY:
        case ICAL_EXDATE_PROPERTY:
        case ICAL_COMPLETED_PROPERTY:
        case ICAL_PERCENTCOMPLETE_PROPERTY:
        case ICAL_CATEGORIES_PROPERTY:
        case ICAL_XLICERROR_PROPERTY:
            return true;
        case ICAL_X_PROPERTY: {
            const char* name = icalproperty_get_x_name(p);
            return !todo && !item.busyStatus.empty() && name && std::string_view(name) == "X-MICROSOFT-CDO-BUSYSTATUS";
        }
        default:
            return false;
    }
}

// A copy of `p` that writes as `p` does, or none. libical's clone of a
// property whose value is a word it does not know (a METHOD no standard
// names) leaves the word out, and the next reading would drop the empty
// property: such a one is copied through its written text instead, and one
// that even that changes is left out now rather than a round later.
icalproperty* FaithfulCopy(icalproperty* p) {
    const char* text = icalproperty_as_ical_string(p);
    if (!text) return nullptr;
    const std::string written = text;
    auto same = [&](icalproperty* copy) {
        if (!copy) return false;
        const char* again = icalproperty_as_ical_string(copy);
        if (again && written == again) return true;
        icalproperty_free(copy);
        return false;
    };
    if (icalproperty* copy = icalproperty_new_clone(p); same(copy)) return copy;
    if (icalproperty* copy = icalproperty_new_from_string(written.c_str()); same(copy)) return copy;
    return nullptr;
}

// A copy of a kept component (an alarm, or whatever else an entry nests)
// whose properties, down its own components, each write as they came (see
// the property's FaithfulCopy). The clone only keeps the component's name,
// which libical offers no other way to read for an X- component.
icalcomponent* FaithfulCopy(icalcomponent* c) {
    icalcomponent* copy = icalcomponent_new_clone(c);
    while (icalproperty* p = icalcomponent_get_first_property(copy, ICAL_ANY_PROPERTY)) {
        icalcomponent_remove_property(copy, p);
        icalproperty_free(p);
    }
    while (icalcomponent* sub = icalcomponent_get_first_component(copy, ICAL_ANY_COMPONENT)) {
        icalcomponent_remove_component(copy, sub);
        icalcomponent_free(sub);
    }
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_ANY_PROPERTY))
        if (icalproperty* kept = FaithfulCopy(p)) icalcomponent_add_property(copy, kept);
    for (icalcomponent* sub = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); sub;
         sub = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT))
        icalcomponent_add_component(copy, FaithfulCopy(sub));
    return copy;
}

// What the original entry carries beyond the item's fields, added to `c`:
// its other properties as they came, and its components (alarms) except
// the first alarm when the item has one, which the item's replaces.
void AddRestOfOriginal(icalcomponent* c, const CalendarItem& item) {
    icalcomponent* root = icalparser_parse_string(item.original.c_str());
    if (!root) return;
    icalcomponent* original = root;
    if (icalcomponent_isa(root) != ICAL_VEVENT_COMPONENT && icalcomponent_isa(root) != ICAL_VTODO_COMPONENT)
        original = icalcomponent_get_first_component(
            root, item.kind == ItemKind::Todo ? ICAL_VTODO_COMPONENT : ICAL_VEVENT_COMPONENT);
    if (original) {
        for (icalproperty* p = icalcomponent_get_first_property(original, ICAL_ANY_PROPERTY); p;
             p = icalcomponent_get_next_property(original, ICAL_ANY_PROPERTY))
            if (!WrittenFromFields(p, item))
                if (icalproperty* copy = FaithfulCopy(p)) icalcomponent_add_property(c, copy);
        bool firstAlarm = true;
        for (icalcomponent* sub = icalcomponent_get_first_component(original, ICAL_ANY_COMPONENT); sub;
             sub = icalcomponent_get_next_component(original, ICAL_ANY_COMPONENT)) {
            const bool alarm = icalcomponent_isa(sub) == ICAL_VALARM_COMPONENT;
            if (alarm && firstAlarm && item.alarmMinutes) {
                firstAlarm = false;
                continue;
            }
            if (alarm) firstAlarm = false;
            icalcomponent_add_component(c, FaithfulCopy(sub));
        }
    }
    icalcomponent_free(root);
}

icalcomponent* ToComponent(const CalendarItem& item, UtcSeconds stamp) {
    const bool todo = item.kind == ItemKind::Todo;
    icalcomponent* c = icalcomponent_new(todo ? ICAL_VTODO_COMPONENT : ICAL_VEVENT_COMPONENT);
    icaltimezone* zone = WrittenZone(item);
    const std::string& tzid = item.timeZone;
    AddText(c, icalproperty_new_uid, item.uid);
    AddTime(c, "DTSTAMP", stamp, false);
    if (item.start) AddTime(c, "DTSTART", *item.start, item.allDay, zone, tzid);
    if (!todo && item.end) AddTime(c, "DTEND", *item.end, item.allDay, zone, tzid);
    if (todo && item.due) AddTime(c, "DUE", *item.due, item.allDay, zone, tzid);
    if (item.recurrenceId) {
        // An all-day entry replaces a day; one whose replaced occurrence has
        // a time of day keeps it (in UTC), so it reads back as the same moment.
        const bool day = item.allDay && ((*item.recurrenceId % 86400) + 86400) % 86400 == 0;
        AddTime(c, "RECURRENCE-ID", *item.recurrenceId, day, zone, tzid);
    }
    AddText(c, icalproperty_new_summary, item.summary);
    AddText(c, icalproperty_new_description, item.description);
    AddText(c, icalproperty_new_location, item.location);
    AddWord(c, "STATUS", item.status);
    if (item.priority > 0 && item.priority <= 9)
        icalcomponent_add_property(c, icalproperty_new_priority(item.priority));
    AddWord(c, "CLASS", item.classification);
    if (!todo && !item.busyStatus.empty()) {
        AddWord(c, "TRANSP", item.busyStatus == "FREE" ? "TRANSPARENT" : "OPAQUE");
        icalproperty* busy = icalproperty_new_x(item.busyStatus.c_str());
        icalproperty_set_x_name(busy, "X-MICROSOFT-CDO-BUSYSTATUS");
        icalcomponent_add_property(c, busy);
    }
    if (!item.rrule.empty()) {
        icalrecurrencetype rule = icalrecurrencetype_from_string(item.rrule.c_str());
        icalerror_clear_errno();
        if (rule.freq != ICAL_NO_RECURRENCE) icalcomponent_add_property(c, icalproperty_new_rrule(rule));
    }
    for (UtcSeconds ex : item.exdates) AddTime(c, "EXDATE", ex, item.allDay, zone, tzid);
    for (UtcSeconds r : item.rdates) AddTime(c, "RDATE", r, item.allDay, zone, tzid);
    if (todo && item.completed) AddTime(c, "COMPLETED", *item.completed, false);
    if (todo && item.percentComplete)
        icalcomponent_add_property(c, icalproperty_new_percentcomplete(*item.percentComplete));
    if (item.alarmMinutes) {
        icalcomponent* alarm = icalcomponent_new(ICAL_VALARM_COMPONENT);
        icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
        icalcomponent_add_property(
            alarm, icalproperty_new_description(item.summary.empty() ? "Reminder"
                                                                     : WithoutControlCharacters(item.summary).c_str()));
        icaltriggertype trigger{};
        trigger.time = icaltime_null_time();
        trigger.duration = AlarmOffset(*item.alarmMinutes);
        icalproperty* when = icalproperty_new_trigger(trigger);
        if (item.alarmFromEnd) icalproperty_add_parameter(when, icalparameter_new_related(ICAL_RELATED_END));
        icalcomponent_add_property(alarm, when);
        icalcomponent_add_component(c, alarm);
    }
    if (!item.original.empty()) AddRestOfOriginal(c, item);
    return c;
}

}  // namespace

ICalendarWriter::ICalendarWriter(UtcSeconds stamp, std::string_view productId)
    : m_stamp(stamp), m_productId(productId) {
    icalerror_set_errors_are_fatal(0);
}

ICalendarWriter::~ICalendarWriter() {
    if (m_file) std::fclose(m_file);
}

void ICalendarWriter::add(const CalendarItem& item) {
    // The zone's definition starts at the earliest time an entry writes in
    // it. Only those times count: an event's DUE or a task's DTEND is not
    // written, and counting it would start the zone earlier than a reading
    // of this very file does.
    if (WrittenZone(item)) {
        const bool todo = item.kind == ItemKind::Todo;
        std::optional<UtcSeconds> first;
        auto earliest = [&](UtcSeconds t) { first = first ? std::min(*first, t) : t; };
        for (UtcSeconds t : item.exdates) earliest(t);
        for (UtcSeconds t : item.rdates) earliest(t);
        for (auto t : {item.start, todo ? item.due : item.end, item.recurrenceId})
            if (t) earliest(*t);
        if (first) {
            auto [it, fresh] = m_zones.try_emplace(item.timeZone, *first);
            if (!fresh) it->second = std::min(it->second, *first);
        }
    }
    // Each entry is written on its own: one huge component tree would be
    // serialised by repeated appends.
    icalcomponent* c = ToComponent(item, m_stamp);
    if (char* text = icalcomponent_as_ical_string_r(c)) {
        std::string entry = text;
        icalmemory_free_buffer(text);
        // libical writes a comma inside a category unescaped (its list
        // separator), so "Atlanta, Georgia" would come back as two
        // categories: the lines are written here, before the entry's end.
        std::string categories;
        for (const auto& category : item.categories)
            if (const std::string clean = WithoutControlCharacters(category); !clean.empty())
                categories += FoldLine("CATEGORIES:" + EscapeText(clean));
        const size_t end = entry.rfind("END:V");
        entry.insert(end == std::string::npos ? entry.size() : end, categories);
        m_spool += entry;
    }
    icalcomponent_free(c);
    if (m_spool.size() >= kSpoolInMemory) spill();
}

void ICalendarWriter::spill() {
    if (!m_file && !(m_file = std::tmpfile()))
        throw std::runtime_error(std::string("cannot make a temporary file for the calendar: ") + std::strerror(errno));
    if (std::fwrite(m_spool.data(), 1, m_spool.size(), m_file) != m_spool.size())
        throw std::runtime_error(std::string("cannot write the calendar's temporary file: ") + std::strerror(errno));
    m_spool.clear();
}

void ICalendarWriter::finish(std::ostream& out) {
    out << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:" << m_productId << "\r\nCALSCALE:GREGORIAN\r\n";
    for (const auto& [tzid, from] : m_zones)
        out << ZoneDefinition(icaltimezone_get_builtin_timezone(tzid.c_str()), tzid, from);
    if (m_file) {
        if (std::fflush(m_file) != 0 || std::fseek(m_file, 0, SEEK_SET) != 0)
            throw std::runtime_error(std::string("cannot read the calendar's temporary file back: ") +
                                     std::strerror(errno));
        std::vector<char> block(1 << 16);
        while (const size_t n = std::fread(block.data(), 1, block.size(), m_file)) out.write(block.data(), n);
        if (std::ferror(m_file))
            throw std::runtime_error(std::string("cannot read the calendar's temporary file back: ") +
                                     std::strerror(errno));
    }
    out << m_spool << "END:VCALENDAR\r\n";
}

std::string WriteICalendar(const std::vector<CalendarItem>& items, UtcSeconds stamp, std::string_view productId) {
    ICalendarWriter writer(stamp, productId);
    for (const auto& item : items) writer.add(item);
    std::ostringstream out;
    writer.finish(out);
    return std::move(out).str();
}

}  // namespace calyra::interchange
