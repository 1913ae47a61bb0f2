// Stored numbers as people read them in `show`: a reminder ("30m before
// the start", "none") and the time zone an event was made in
// ("Europe/Berlin"). Scripts keep the numbers (JSON, CSV and TSV of the
// values as stored); these are for the table people read.
//
// Returns values. Thread-safety: pure functions (the zone names are the
// calendar library's constant table).
#pragma once

#include <string>

#include "platform/types.h"

namespace calyra::cli {

// "none" for 0, else "1d2h30m before `anchor`" (after, for a negative one).
std::string ReminderText(LONG minutes, const std::string& anchor);

// The zone's name for the number an event records ("UTC" for 0); a number
// this version does not know stays a number ("318 (unknown zone)").
std::string ZoneText(ULONG number);

}  // namespace calyra::cli
