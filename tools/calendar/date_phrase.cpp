#include "calendar/date_phrase.h"

#include <array>
#include <cctype>
#include <vector>

#include <fmt/format.h>

#include "calendar/iso_date.h"

namespace calyra::calendar {
namespace {

constexpr std::array<std::string_view, 7> kWeekdays = {"sunday",   "monday", "tuesday", "wednesday",
                                                       "thursday", "friday", "saturday"};

constexpr const char* kWhenExamples =
    "e.g. \"today\", \"tomorrow 10:00\", \"fri 14:30\", \"next monday\", \"+2d\", "
    "\"2027-03-05 9am\"";

std::optional<ParsedWhen> Fail(std::string* problem, std::string text) {
    if (problem) *problem = std::move(text);
    return std::nullopt;
}

std::string Lower(std::string_view text) {
    std::string out;
    for (char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

// Reads exactly `digits` digits at `pos`.
bool Digits(std::string_view text, size_t& pos, size_t digits, int* value) {
    if (pos + digits > text.size()) return false;
    int v = 0;
    for (size_t i = 0; i < digits; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    pos += digits;
    *value = v;
    return true;
}

// One or two digits.
bool ShortNumber(std::string_view text, size_t& pos, int* value) {
    if (!Digits(text, pos, 1, value)) return false;
    int second = 0;
    if (Digits(text, pos, 1, &second)) *value = *value * 10 + second;
    return true;
}

// A weekday by its full name or its first three letters; -1 when none.
int Weekday(std::string_view word) {
    for (int i = 0; i < 7; ++i)
        if (word == kWeekdays[i] || (word.size() >= 3 && kWeekdays[i].starts_with(word))) return i;
    return -1;
}

// Seconds after midnight of a time text; std::nullopt when it is not one.
std::optional<long long> TimeOfDay(std::string_view text) {
    if (text == "noon") return 12 * 3600LL;
    if (text == "midnight") return 0LL;
    size_t pos = 0;
    int hour = 0, minute = 0, second = 0;
    if (!ShortNumber(text, pos, &hour)) return std::nullopt;
    bool hasMinutes = false;
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        if (!Digits(text, pos, 2, &minute)) return std::nullopt;
        hasMinutes = true;
        if (pos < text.size() && text[pos] == ':') {
            ++pos;
            if (!Digits(text, pos, 2, &second)) return std::nullopt;
        }
    }
    const std::string_view rest = text.substr(pos);
    if (rest == "am" || rest == "pm") {
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + (rest == "pm" ? 12 : 0);
    } else if (!rest.empty() || !hasMinutes) {
        return std::nullopt;  // "9" alone could be a day, an hour or a count
    }
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    return hour * 3600LL + minute * 60LL + second;
}

// An ISO day at the start of `text`: its day number; `pos` moves past it.
std::optional<long long> IsoDay(std::string_view text, size_t& pos) {
    int year = 0, month = 0, day = 0;
    if (!Digits(text, pos, 4, &year) || pos >= text.size() || text[pos++] != '-' || !Digits(text, pos, 2, &month) ||
        pos >= text.size() || text[pos++] != '-' || !Digits(text, pos, 2, &day))
        return std::nullopt;
    if (year < 100 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
    return DayFromCivil(year, month, day);
}

// A day written with separators, "05.03.2027" (day first) or "03/05/2027"
// (as `style` says): its day number, std::nullopt with *problem set when
// it is not a day. Days and months may have one digit ("5.3.2027").
std::optional<long long> SeparatedDay(std::string_view text, DateStyle style, std::string* problem) {
    const char separator = text.find('.') != std::string_view::npos ? '.' : '/';
    const auto fail = [&](std::string why) -> std::optional<long long> {
        if (problem) *problem = std::move(why);
        return std::nullopt;
    };
    const std::string example = separator == '.'          ? "\"05.03.2027\""
                                : style == DateStyle::Dmy ? "\"05/03/2027\""
                                                          : "\"03/05/2027\"";
    if (separator == '/' && style == DateStyle::Iso)
        return fail(
            fmt::format("\"{}\" could be month/day or day/month (e.g. \"2027-03-05\", or set date_format "
                        "to mdy or dmy)",
                        text));
    size_t pos = 0;
    int first = 0, second = 0, year = 0;
    const bool read = ShortNumber(text, pos, &first) && pos < text.size() && text[pos++] == separator &&
                      ShortNumber(text, pos, &second) && pos < text.size() && text[pos++] == separator &&
                      Digits(text, pos, 4, &year) && pos == text.size();
    if (!read) return fail(fmt::format("cannot read \"{}\" as a day (e.g. {})", text, example));
    const bool dayFirst = separator == '.' || style == DateStyle::Dmy;
    const int day = dayFirst ? first : second, month = dayFirst ? second : first;
    if (year < 100 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return fail(fmt::format("no such day \"{}\" (e.g. {}, years 100 to 9999)", text, example));
    return DayFromCivil(year, month, day);
}

// Whether a word is a day with separators (a digit, then '.' or '/').
bool LooksSeparated(std::string_view word) {
    return !word.empty() && word[0] >= '0' && word[0] <= '9' && word.find_first_of("./") != std::string_view::npos;
}

// "Z", "+01:00", "-0530" at the end of an ISO moment: seconds east of UTC.
std::optional<int> IsoOffset(std::string_view text) {
    if (text == "z") return 0;
    if (text.size() != 6 && text.size() != 5) return std::nullopt;
    if (text[0] != '+' && text[0] != '-') return std::nullopt;
    size_t pos = 1;
    int hours = 0, minutes = 0;
    if (!Digits(text, pos, 2, &hours)) return std::nullopt;
    if (text.size() == 6 && text[pos++] != ':') return std::nullopt;
    if (!Digits(text, pos, 2, &minutes) || hours > 14 || minutes > 59) return std::nullopt;
    const int seconds = hours * 3600 + minutes * 60;
    return text[0] == '-' ? -seconds : seconds;
}

ParsedWhen At(long long day, long long secondOfDay, bool hasTime) {
    return {SecondsToDate(day * kSecondsPerDay + secondOfDay), hasTime, false};
}

}  // namespace

std::optional<ParsedWhen> ParseWhen(std::string_view input, Date now, std::string* problem, DateStyle style) {
    const std::string text = Lower(input);
    std::vector<std::string> words = Words(text);
    if (words.empty()) return Fail(problem, fmt::format("a date is missing ({})", kWhenExamples));
    const long long nowSeconds = DateToSeconds(now);
    const long long today = DayOfSeconds(nowSeconds);

    if (words.size() == 1 && (words[0][0] == '+' || words[0][0] == '-')) {
        std::string why;
        const auto shift = ParseDuration(std::string_view(words[0]).substr(1), &why);
        if (!shift) return Fail(problem, fmt::format("cannot read \"{}\": {}", input, why));
        // "in two days" is about the day and the minute, not the second the
        // command ran; a duration in seconds asks for them.
        const long long base = *shift % 60 == 0 ? nowSeconds - ((nowSeconds % 60) + 60) % 60 : nowSeconds;
        const long long moved = words[0][0] == '+' ? base + *shift : base - *shift;
        return ParsedWhen{SecondsToDate(moved), true, false};
    }
    if (words.size() == 1 && words[0] == "now") return ParsedWhen{now, true, false};

    // An ISO moment written as one word: the day, 'T', the time and maybe a zone.
    if (words.size() == 1 && words[0].size() > 10 && words[0][10] == 't') {
        size_t pos = 0;
        const auto day = IsoDay(words[0], pos);
        std::string timeText = words[0].substr(11);
        std::optional<int> offset;
        for (size_t cut = 0; cut < timeText.size(); ++cut) {
            if (timeText[cut] != 'z' && timeText[cut] != '+' && timeText[cut] != '-') continue;
            offset = IsoOffset(std::string_view(timeText).substr(cut));
            if (!offset)
                return Fail(problem, fmt::format("cannot read the zone of \"{}\" (e.g. \"2027-03-05T09:00Z\" or "
                                                 "\"2027-03-05T09:00+01:00\")",
                                                 input));
            timeText.resize(cut);
            break;
        }
        const auto time = TimeOfDay(timeText);
        if (!day || !time)
            return Fail(problem, fmt::format("cannot read \"{}\" as a date and time ({})", input, kWhenExamples));
        if (!offset) return At(*day, *time, true);
        return ParsedWhen{SecondsToDate(*day * kSecondsPerDay + *time - *offset), true, true};
    }

    // A day word (or two: "next fri"), then maybe "at", then maybe a time.
    std::optional<long long> day;
    size_t next = 1;
    const std::string& first = words[0];
    if (first == "today") {
        day = today;
    } else if (first == "tomorrow") {
        day = today + 1;
    } else if (first == "yesterday") {
        day = today - 1;
    } else if (first == "next") {
        const int weekday = words.size() > 1 ? Weekday(words[1]) : -1;
        if (weekday < 0) return Fail(problem, "\"next\" takes a day of the week (e.g. \"next monday\")");
        const int ahead = (weekday - WeekdayOfDay(today) + 7) % 7;
        day = today + (ahead == 0 ? 7 : ahead);
        next = 2;
    } else if (const int weekday = Weekday(first); weekday >= 0) {
        day = today + (weekday - WeekdayOfDay(today) + 7) % 7;
    } else if (LooksSeparated(first)) {
        std::string why;
        day = SeparatedDay(first, style, &why);
        if (!day) return Fail(problem, why);
    } else if (first.size() == 10 && first[4] == '-') {
        size_t pos = 0;
        day = IsoDay(first, pos);
        if (!day)
            return Fail(problem, fmt::format("no such day \"{}\" (e.g. \"2027-03-05\", years 100 to 9999)", first));
    } else {
        next = 0;  // a time alone: today
        day = today;
    }
    if (next < words.size() && words[next] == "at") ++next;
    if (next == words.size()) {
        if (words[next - 1] == "at")
            return Fail(problem, "a time is missing after \"at\" (e.g. \"tomorrow at 10:00\")");
        return At(*day, 0, false);
    }
    std::string timeText = words[next];
    // "9 am" written apart.
    if (next + 2 == words.size() && (words[next + 1] == "am" || words[next + 1] == "pm")) timeText += words[++next];
    const auto time = TimeOfDay(timeText);
    if (!time || next + 1 != words.size())
        return Fail(problem, fmt::format("cannot read \"{}\" as a date ({})", input, kWhenExamples));
    return At(*day, *time, true);
}

std::optional<long long> ParseDuration(std::string_view input, std::string* problem) {
    const std::string text = Lower(input);
    constexpr std::string_view kUnits = "wdhms";
    constexpr long long kSeconds[] = {7 * kSecondsPerDay, kSecondsPerDay, 3600, 60, 1};
    const auto fail = [&](const std::string& why) -> std::optional<long long> {
        if (problem) *problem = why + " (e.g. \"30m\", \"1h30m\", \"2d\", \"1w\")";
        return std::nullopt;
    };
    if (text.empty()) return fail("a duration is missing");
    long long total = 0;
    size_t pos = 0, lastUnit = 0;
    bool any = false;
    while (pos < text.size()) {
        long long number = 0;
        size_t digits = 0;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
            number = number * 10 + (text[pos++] - '0');
            if (++digits > 7) return fail(fmt::format("\"{}\" is too long a duration", input));
        }
        if (digits == 0) return fail(fmt::format("cannot read \"{}\" as a duration", input));
        if (pos == text.size()) return fail(fmt::format("\"{}\" needs a unit", input));
        const size_t unit = kUnits.find(text[pos++]);
        if (unit == std::string_view::npos || (any && unit <= lastUnit))
            return fail(fmt::format("cannot read \"{}\" as a duration", input));
        total += number * kSeconds[unit];
        lastUnit = unit;
        any = true;
    }
    return total;
}

}  // namespace calyra::calendar
