#include "import_export/conversions.h"

#include <algorithm>

#include "calendar/days.h"
#include "interchange/text_encoding.h"
#include "records/contact_records.h"
#include "records/text_limits.h"

namespace calyra::cli {

using namespace calendar;
namespace {

// 1970-01-01 is day 25569 of the automation calendar.
constexpr long long kUnixEpochSeconds = 25569LL * kSecondsPerDay;

}  // namespace

DATE DateOfUtc(interchange::UtcSeconds seconds) { return SecondsToDate(seconds + kUnixEpochSeconds); }
interchange::UtcSeconds UtcOfDate(DATE date) { return DateToSeconds(date) - kUnixEpochSeconds; }

std::string DateRangeProblem(DATE date, bool allDayEnd) {
    static const long long first = DayFromCivil(100, 1, 1) * kSecondsPerDay;
    static const long long last = DayFromCivil(10000, 1, 1) * kSecondsPerDay - 1;
    const long long s = DateToSeconds(date);
    if (s < first) return "dates before 0100-01-01 cannot be stored";
    if (s > last - (allDayEnd ? kSecondsPerDay : 0))
        return allDayEnd ? "an all-day event must end by 9999-12-30 (its iCalendar end is the day after)"
                         : "dates after 9999-12-31 cannot be stored";
    return "";
}

interchange::UtcSeconds ExclusiveAllDayEnd(DATE start, DATE end) {
    const long long from = DateToSeconds(start), to = DateToSeconds(end);
    const long long lastDay = to > from ? DayOfSeconds(to - 1) : DayOfSeconds(from);
    return (lastDay + 1) * kSecondsPerDay - kUnixEpochSeconds;
}

DATE InclusiveAllDayEnd(interchange::UtcSeconds start, interchange::UtcSeconds exclusiveEnd) {
    return DateOfUtc(std::max<interchange::UtcSeconds>(exclusiveEnd, start + kSecondsPerDay) - 1);
}

std::string FitText(const std::string& text, bool* cut) {
    *cut = false;
    if (text.size() <= kMaxTextUnits) return text;  // UTF-8 never has fewer bytes than UTF-16 units
    size_t units = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t n = interchange::Utf8SequenceLength(static_cast<unsigned char>(text[i]));
        const size_t u = n == 4 ? 2 : 1;
        if (units + u > kMaxTextUnits) {
            *cut = true;
            return text.substr(0, i);
        }
        units += u;
        i += n;
    }
    return text;
}

}  // namespace calyra::cli
