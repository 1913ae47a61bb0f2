// A month as people draw it on paper: weeks as rows from Monday (or Sunday)
// on, each day a box with its number and its events ("09:30 Dentist"), cut
// to the box's width, and "+N more" when a day has more events than the box
// has lines. An event that runs over several days appears on each of them
// (with its time only on the first); all-day events have no time. Boxes
// narrower than 12 columns write times short ("9:30", "14" for 14:00) so a
// subject can still be read on an 80-column terminal. A week is drawn the
// same way, as one row of seven boxes.
//
// The grid knows no zones: occurrences are given in the wall-clock time
// they are to be drawn in.
//
//   December 2026
//   +----------+----------+-- ... --+
//   |Mon       |Tue       |   ...   |
//   +----------+----------+-- ... --+
//   |          |1         |   ...   |
//   |          |09:30 Den…|   ...   |
//
// Every line of the grid has the same display width, wide (East Asian)
// characters counted as two columns.
//
// Results are plain values owned by the caller. Thread-safety: pure
// functions.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "calendar/occurrences.h"

namespace calyra::calendar {

struct GridStyle {
    size_t cellWidth = 10;  // display columns inside a day's box; at least 3
    size_t maxLines = 3;    // event lines per week row at most; at least 1
    int weekStart = 1;      // the first column: 1 Monday, 0 Sunday
    // The day number (days.h) of today, marked "N today" in its box; -1: none.
    long long today = -1;
    // Hook for highlighting today's number cell (colour): gets the cell as
    // fitted to its width and returns what is drawn; the text's display
    // width must stay the same. Empty: drawn as it is.
    std::function<std::string(const std::string& cell)> markToday = nullptr;
};

// The box width that fills a terminal of `columns` with seven boxes and
// their borders: at least 10, at most 40.
size_t CellWidthFor(size_t columns);

// The occurrences on each day of the month (index 0 is day 1), each day's
// in order of start. An occurrence is on every day that its time span
// [start, end) touches, and on its start day when it has no length.
std::vector<std::vector<Occurrence>> OccurrencesByDay(int year, int month, const std::vector<Occurrence>& occurrences);
// The same for `count` days from day number `firstDay`.
std::vector<std::vector<Occurrence>> OccurrencesByDays(long long firstDay, int count,
                                                       const std::vector<Occurrence>& occurrences);

// The grid text, title line first, every line ending in '\n'.
std::string FormatMonthGrid(int year, int month, const std::vector<Occurrence>& occurrences,
                            const GridStyle& style = {});

// The week of seven days from day number `firstDay`: the header of
// weekday names and one row of boxes, every event line shown unless more
// than style.maxLines. No title line.
std::string FormatWeekGrid(long long firstDay, const std::vector<Occurrence>& occurrences, const GridStyle& style = {});

// `text` in exactly `width` display columns: padded with spaces, or cut
// and ended with "…"; control characters become spaces.
std::string FitToWidth(const std::string& text, size_t width);

}  // namespace calyra::calendar
