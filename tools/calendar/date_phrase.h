// Dates, times and durations as people type them on the command line, read
// against a given "now" in the user's wall-clock time:
//
//   today  tomorrow  yesterday  now          a day (00:00) or this moment
//   mon … sun, monday … sunday               that day this week or the next,
//                                            today included
//   next mon                                 that day after today, never today
//   2027-03-05                               an ISO day
//   05.03.2027                               a day written day.month.year
//   03/05/2027                               a day with slashes, read in the
//                                            date style (mdy: month first,
//                                            dmy: day first; refused in iso,
//                                            where it is a guess either way)
//   +2d  -1w  +3h  +1h30m                    now moved by a duration, to the
//                                            whole minute (unless the duration
//                                            has seconds: "+90s")
//   any day form followed by a time          "tomorrow 10:00", "fri 2:30pm",
//                                            "2027-03-05 9am", "2027-03-05T09:00"
//   a time alone                             today at that time: "14:30", "9am"
//   an ISO moment with Z or an offset        a UTC moment: "2027-03-05T09:00Z",
//                                            "2027-03-05T09:00+01:00"
// Times: "14:30", "14:30:15", "9am", "9:30pm", "noon", "midnight"; an
// optional "at" may stand before the time.
//
// Durations: numbers with units, largest first: "30m", "1h30m", "2d", "1w",
// "45s". A bare number is refused: minutes or days would both be guesses.
//
// Everything is read strictly: words are whole, numbers in range, and any
// text left over is an error. Errors say what could not be read and give an
// example of a form that works.
//
// Plain values in and out. Thread-safety: pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "calendar/days.h"

namespace calyra::calendar {

// How dates are shown, and so how a day with slashes is read back:
// iso 2027-03-05, dmy 05.03.2027, mdy 03/05/2027.
enum class DateStyle { Iso, Dmy, Mdy };

struct ParsedWhen {
    Date date = 0;         // wall time, or UTC when `utc`
    bool hasTime = false;  // a time was given (else 00:00 of the day)
    bool utc = false;      // the text named UTC or an offset itself
};

// Reads `text` against `now` (wall time), days with slashes in `style`;
// std::nullopt with *problem set when it cannot be read.
std::optional<ParsedWhen> ParseWhen(std::string_view text, Date now, std::string* problem,
                                    DateStyle style = DateStyle::Iso);

// Seconds of a duration text; std::nullopt with *problem set when it cannot
// be read.
std::optional<long long> ParseDuration(std::string_view text, std::string* problem);

}  // namespace calyra::calendar
