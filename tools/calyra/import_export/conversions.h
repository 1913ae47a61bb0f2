// Small conversions the import and export glue shares: UTC seconds and
// automation dates, and texts cut to what a record field gives back whole.
//
// Thread-safety: pure functions.
#pragma once

#include <string>

#include "interchange/calendar_item.h"
#include "platform/types.h"

namespace calyra::cli {

DATE DateOfUtc(interchange::UtcSeconds seconds);
interchange::UtcSeconds UtcOfDate(DATE date);

// `text` cut to the longest prefix that a record field gives back whole
// (kMaxTextUnits UTF-16 units), never inside a character. `cut` says
// whether anything was dropped.
std::string FitText(const std::string& text, bool* cut);

}  // namespace calyra::cli
