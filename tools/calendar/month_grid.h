// A month as people draw it on paper: weeks as rows from Monday to Sunday,
// each day a box with its number and its events ("09:30 Dentist"), cut to
// the box's width, and "+N more" when a day has more events than the box
// has lines. An event that runs over several days appears on each of them
// (with its time only on the first); all-day events have no time.
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

#include <string>
#include <vector>

#include "calendar/occurrences.h"

namespace calyra::calendar {

struct GridStyle {
    size_t cellWidth = 10;  // display columns inside a day's box; at least 3
    size_t maxLines = 3;    // event lines per week row at most; at least 1
};

// The occurrences on each day of the month (index 0 is day 1), each day's
// in order of start. An occurrence is on every day that its time span
// [start, end) touches, and on its start day when it has no length.
std::vector<std::vector<Occurrence>> OccurrencesByDay(int year, int month, const std::vector<Occurrence>& occurrences);

// The grid text, title line first, every line ending in '\n'.
std::string FormatMonthGrid(int year, int month, const std::vector<Occurrence>& occurrences,
                            const GridStyle& style = {});

// `text` in exactly `width` display columns: padded with spaces, or cut
// and ended with "…"; control characters become spaces.
std::string FitToWidth(const std::string& text, size_t width);

}  // namespace calyra::calendar
