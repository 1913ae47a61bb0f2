// How long a text the component gives back whole, and the checks every
// command makes before it writes one: a text that would come back cut is
// refused instead of stored, and a stored text that may already have been
// cut is not written back unless the command gives it anew.
//
// Throws ClientError; returns nothing it owns. Thread-safety: pure
// functions over the record they are given.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/type_description.h"
#include "records/record_fields.h"

namespace calyra::cli {

// A text field reads back at most this many UTF-16 units; a longer stored
// text comes back cut to it.
constexpr size_t kReadableUnits = 2048;
// The longest text the commands write: one unit short of what reads back,
// so a text that reads back at full length is known to be possibly cut.
constexpr size_t kMaxTextUnits = kReadableUnits - 1;

// Throws ClientError (status 2) naming `option` when `text` is too long.
void CheckTextFits(std::string_view text, const std::string& option);
// Before a stored record is written back: throws ClientError (status 1)
// when a text field read back at full length (so it may have been cut) and
// `replaced(key)` says the command does not give it anew.
void RefuseCutTexts(const RecordDesc& desc, const void* record, const std::function<bool(const std::string&)>& replaced,
                    const std::string& what);

}  // namespace calyra::cli
