// Dates as the commands read and show them: the calendar library's ISO
// forms (calendar/iso_date.h), with a text that is not a date reported the
// way every command reports a bad argument.
//
// Thread-safety: pure functions.
#pragma once

#include <string_view>

#include "calendar/iso_date.h"
#include "platform/types.h"

namespace calyra::cli {

using calendar::CivilDate;
using calendar::FormatIsoDate;
using calendar::FormatIsoDay;
using calendar::FromCivil;
using calendar::ToCivil;
using calendar::TryParseIsoDate;

// Throws ClientError (status 2) naming the text when it is not a date.
DATE ParseIsoDate(std::string_view text);

}  // namespace calyra::cli
