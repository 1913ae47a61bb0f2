#include "cli/shown_values.h"

#include <cstdlib>

#include "calendar/time_zone.h"

namespace calyra::cli {

std::string ReminderText(LONG minutes, const std::string& anchor) {
    if (minutes == 0) return "none";
    long long left = std::llabs(static_cast<long long>(minutes));
    std::string text;
    for (const auto& [unit, size] : {std::pair{"d", 24 * 60LL}, {"h", 60LL}, {"m", 1LL}}) {
        if (left < size) continue;
        text += std::to_string(left / size) + unit;
        left %= size;
    }
    return text + (minutes > 0 ? " before " : " after ") + anchor;
}

std::string ZoneText(ULONG number) {
    if (number == 0) return "UTC";
    if (const auto zone = calendar::TimeZone::FromNumber(number)) return zone->name();
    return std::to_string(number) + " (unknown zone)";
}

}  // namespace calyra::cli
