// The command-line options that say how an event or task repeats:
//
//   --repeat none|daily|weekly|monthly|yearly   --every N
//   --on mon,wed (weekly; "weekdays", "weekend")
//   --day-of-month N | --nth 1..4|last --weekday tue   (monthly, yearly)
//   --month N|name (yearly)   --until DATE|none | --count N
//   (--until takes the date forms of calendar/date_phrase.h: "2027-06-30",
//   "next fri", "+4w")
//
// apply() turns the given ones into changes of a RecurrenceRule (the
// stored rule on edit, so unnamed parts stay) and fills what is left open
// from the event's start, so the record other programs read says
// explicitly which days it means.
//
// Ownership: the option values live in the object, which the parser fills
// and which stays where it is once the options are added (a member of a
// command's options struct).
// Thread-safety: one thread, like the command line.
#pragma once

#include <map>
#include <string>

#include <CLI/CLI.hpp>

#include "calendar/recurrence_rule.h"
#include "calendar/time_zone.h"
#include "platform/types.h"

namespace calyra::cli {

class RecurrenceOptions {
public:
    // Adds the options to `command`.
    void add(CLI::App& command);

    bool given() const { return !m_values.empty(); }
    // Changes `rule` as the options say; `start` is the event's (task's)
    // start, which begins the series. Throws ClientError (status 2) for
    // options that do not fit together or that the record cannot hold.
    void apply(calendar::RecurrenceRule* rule, DATE start) const;
    // The same for a series laid out in `zone` (zoned_occurrences.h): the
    // rule's days are the zone's, --until is a day there, and the series'
    // start and end days are kept as the UTC moments of their midnights in
    // the zone, as the rule's other readers expect them.
    void apply(calendar::RecurrenceRule* rule, DATE start, const calendar::TimeZone& zone) const;

private:
    std::map<std::string, std::string> m_values;  // option name -> text, filled by CLI11
};

// "mon,wed" -> day mask; also "weekdays", "weekend". Throws ClientError
// (status 2) naming `option`.
unsigned ParseWeekdays(const std::string& text, const std::string& option);

}  // namespace calyra::cli
