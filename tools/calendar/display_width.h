// How many terminal columns a UTF-8 text takes: East Asian wide characters
// and emoji count two, combining marks and ANSI control sequences (the
// colour escapes ESC [ ... m) none, everything else one. The month grid cuts
// its boxes by it; the client's tables line up by it, so painted text lines
// up like plain text.
//
// Thread-safety: a pure function.
#pragma once

#include <cstddef>
#include <string>

namespace calyra::calendar {

size_t DisplayWidth(const std::string& text);

}  // namespace calyra::calendar
