// What the calendar views (events month, week and day, agenda) share: the
// occurrences of a run of days on the user's wall clock, read in one go
// (records/profile_events.h), those days as text lines and as JSON, the
// grid style for the terminal, and the options every view takes.
//
// Ownership: plain values; ViewOptions holds the option values the parser
// fills, so it stays where it is once its options are added. Thread-safety: one thread, like the command line.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "calendar/month_grid.h"
#include "calendar/occurrences.h"
#include "cli/command_context.h"
#include "session/user_time.h"

namespace calyra::cli {

// --category and --selected, as every view takes them.
class ViewOptions {
public:
    // Adds the options to `command`.
    void add(CLI::App& command);
    // The occurrences of the days [firstDay, firstDay + count) (day numbers
    // on the user's wall clock), UTC moments in order of wall-clock start.
    std::vector<calendar::Occurrence> occurrences(CommandContext& ctx, const UserTime& user, long long firstDay,
                                                  int count) const;

private:
    std::string m_category;
    bool m_selected = false;
};

// The occurrences in the user's wall-clock time, grouped by the days
// [firstDay, firstDay + count) they touch.
std::vector<std::vector<calendar::Occurrence>> ByWallDay(const std::vector<calendar::Occurrence>& occurrences,
                                                         const UserTime& user, long long firstDay, int count);

// {"time_zone", "from", "to", "days": [{"date", "events": [OccurrenceJson]}]};
// without `empty`, days with nothing are left out.
Json DaysJson(const std::vector<calendar::Occurrence>& occurrences, const UserTime& user, long long firstDay, int count,
              bool empty);
// "Mon 2027-02-15" lines, each followed by "  09:30–10:00  Subject" lines;
// without `empty`, days with nothing are left out.
std::string DaysText(const std::vector<calendar::Occurrence>& occurrences, const UserTime& user, long long firstDay,
                     int count, bool empty);

// The grid style for the terminal: boxes as wide as $COLUMNS (else the
// terminal's width, else 80) allows unless `cellWidth` is given (non-zero),
// the user's week start, today marked (and painted when `out` has colour).
calendar::GridStyle GridStyleFor(const UserTime& user, size_t cellWidth, size_t maxLines, const Output& out);

// The day a view shows: `words` (the positional words, so "next monday"
// needs no quotes) read as a date in the user's zone; none: today. Throws
// ClientError (status 2) naming `what`.
long long ViewDay(const UserTime& user, const std::vector<std::string>& words, const std::string& what);

// events week, events day (view_commands.cpp).
void AddWeekAndDayCommands(CLI::App& events, CommandContext& ctx);

}  // namespace calyra::cli
