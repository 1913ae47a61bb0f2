// How many terminal columns a UTF-8 text takes: East Asian wide characters
// and emoji count two, combining marks none, everything else one. The month
// grid cuts its boxes by it; the client's tables line up by it.
//
// Thread-safety: a pure function.
#pragma once

#include <cstddef>
#include <string>

namespace calyra::calendar {

size_t DisplayWidth(const std::string& text);

}  // namespace calyra::calendar
