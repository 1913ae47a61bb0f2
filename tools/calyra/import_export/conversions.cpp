#include "import_export/conversions.h"

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
