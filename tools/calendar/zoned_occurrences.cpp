#include "calendar/zoned_occurrences.h"

#include <algorithm>

namespace calyra::calendar {
namespace {

// The event with every stored moment read as wall time in `zone`.
CalendarEvent InWallTime(CalendarEvent event, const TimeZone& zone) {
    const auto local = [&zone](Date& date) {
        if (date != 0) date = zone.toLocal(date);
    };
    local(event.start);
    local(event.end);
    local(event.originalStart);
    local(event.rule.start);
    local(event.rule.until);
    for (Date& d : event.extraStarts) local(d);
    return event;
}

}  // namespace

std::vector<Occurrence> ExpandEventInZone(const CalendarEvent& event, const std::vector<CalendarEvent>& exceptions,
                                          Date from, Date to, const TimeZone& zone) {
    if (event.allDay || zone.isUtc()) return ExpandEvent(event, exceptions, from, to);
    std::vector<CalendarEvent> wallExceptions;
    wallExceptions.reserve(exceptions.size());
    for (const auto& e : exceptions) wallExceptions.push_back(InWallTime(e, zone));
    // No zone is more than a day from UTC: a day either side of the stretch
    // holds every occurrence that can overlap it.
    const auto wall =
        ExpandEvent(InWallTime(event, zone), wallExceptions, SecondsToDate(DateToSeconds(from) - kSecondsPerDay),
                    SecondsToDate(DateToSeconds(to) + kSecondsPerDay), &zone);
    const long long masterLength = DateToSeconds(event.end) - DateToSeconds(event.start);
    std::vector<Occurrence> out;
    for (Occurrence o : wall) {
        const long long length = DateToSeconds(o.end) - DateToSeconds(o.start);
        o.start = zone.toUtc(o.start);
        // Occurrences of the series last as long as the master in real
        // time; an exception keeps its own length.
        o.end = SecondsToDate(DateToSeconds(o.start) + (o.exception ? length : masterLength));
        if (DateToSeconds(o.start) <= DateToSeconds(to) && DateToSeconds(o.end) >= DateToSeconds(from))
            out.push_back(std::move(o));
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Occurrence& a, const Occurrence& b) { return a.start < b.start; });
    return out;
}

}  // namespace calyra::calendar
