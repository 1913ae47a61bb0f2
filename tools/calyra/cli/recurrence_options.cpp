#include "cli/recurrence_options.h"

#include <cctype>

#include "calendar/date_phrase.h"
#include "calendar/days.h"
#include "calendar/recurrence_wording.h"
#include "records/recurrence_record.h"
#include "session/client_error.h"
#include "session/user_time.h"

namespace calyra::cli {

using namespace calendar;
namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

int ParseNumber(const std::string& text, const std::string& option, int low, int high) {
    int value = 0;
    bool ok = !text.empty() && text.size() <= 9;
    for (char c : text) ok = ok && std::isdigit(static_cast<unsigned char>(c));
    if (ok) value = std::stoi(text);
    if (!ok || value < low || value > high)
        throw ClientError(option + ": expected a number from " + std::to_string(low) + " to " + std::to_string(high) +
                              ", got \"" + text + "\"",
                          2);
    return value;
}

// "mon", "monday", "mo" -> 1; -1 when the text names no weekday.
int WeekdayNamed(const std::string& text) {
    if (text.size() < 2) return -1;
    for (int d = 0; d < 7; ++d)
        if (Lower(WeekdayName(d)).rfind(text, 0) == 0) return d;
    return -1;
}

Frequency ParseFrequency(const std::string& text) {
    const std::string t = Lower(text);
    if (t == "none" || t == "never") return Frequency::None;
    if (t == "daily") return Frequency::Daily;
    if (t == "weekly") return Frequency::Weekly;
    if (t == "monthly") return Frequency::Monthly;
    if (t == "yearly") return Frequency::Yearly;
    throw ClientError("--repeat: expected none, daily, weekly, monthly or yearly, got \"" + text + "\"", 2);
}

int ParseNth(const std::string& text) {
    static const char* const kWords[] = {"first", "second", "third", "fourth"};
    const std::string t = Lower(text);
    if (t == "last" || t == "-1") return -1;
    for (int i = 0; i < 4; ++i)
        if (t == kWords[i]) return i + 1;
    try {
        return ParseNumber(t, "--nth", 1, 4);
    } catch (const ClientError&) {
        throw ClientError("--nth: expected 1 to 4 or last, got \"" + text + "\"", 2);
    }
}

int ParseMonth(const std::string& text) {
    const std::string t = Lower(text);
    if (t.size() >= 3)
        for (int m = 1; m <= 12; ++m)
            if (Lower(MonthName(m)).rfind(t, 0) == 0) return m;
    try {
        return ParseNumber(t, "--month", 1, 12);
    } catch (const ClientError&) {
        throw ClientError("--month: expected 1 to 12 or a month's name, got \"" + text + "\"", 2);
    }
}

const char* FrequencyWord(Frequency f) {
    switch (f) {
        case Frequency::Daily:
            return "daily";
        case Frequency::Weekly:
            return "weekly";
        case Frequency::Monthly:
            return "monthly";
        case Frequency::Yearly:
            return "yearly";
        case Frequency::None:
            break;
    }
    return "non-repeating";
}

}  // namespace

unsigned ParseWeekdays(const std::string& text, const std::string& option) {
    unsigned mask = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t comma = std::min(text.find(',', pos), text.size());
        std::string item = Lower(text.substr(pos, comma - pos));
        while (!item.empty() && item.front() == ' ') item.erase(item.begin());
        while (!item.empty() && item.back() == ' ') item.pop_back();
        if (item == "weekdays" || item == "weekday")
            mask |= kMondayToFriday;
        else if (item == "weekend" || item == "weekends")
            mask |= kWeekend;
        else if (int d = WeekdayNamed(item); d >= 0)
            mask |= WeekdayBit(d);
        else
            throw ClientError(option + ": \"" + item + "\" is not a day of the week (use mon,tue,...,sun)", 2);
        pos = comma + 1;
    }
    return mask;
}

void RecurrenceOptions::add(CLI::App& command) {
    struct OptionText {
        const char* name;
        const char* help;
    };
    static constexpr OptionText kOptions[] = {
        {"--repeat", "none|daily|weekly|monthly|yearly"},
        {"--every", "repeat every N days/weeks/months/years (default 1)"},
        {"--on", "weekly: days of the week, e.g. mon,wed (default: the start's weekday); daily: weekdays"},
        {"--day-of-month", "monthly/yearly: day 1..31 (the last day in shorter months)"},
        {"--nth", "monthly/yearly: 1..4 or last, with --weekday"},
        {"--weekday", "monthly/yearly: the day counted by --nth, e.g. tue (default: the start's weekday)"},
        {"--month", "yearly: 1..12 or a month's name (default: the start's month)"},
        {"--until", "last day of the series (DATE), or none"},
        {"--count", "number of occurrences"},
    };
    for (const auto& o : kOptions) {
        const std::string name = o.name;
        command.add_option_function<std::string>(
            name, [this, name](const std::string& v) { m_values[name] = v; }, o.help);
    }
}

void RecurrenceOptions::apply(RecurrenceRule* rule, DATE start) const { apply(rule, start, TimeZone::Utc()); }

void RecurrenceOptions::apply(RecurrenceRule* stored, DATE utcStart, const TimeZone& zone) const {
    // The rule is worked on in the zone's wall-clock time and stored back.
    const auto wall = [&zone](Date d) { return d == 0 ? d : zone.toLocal(d); };
    const auto utc = [&zone](Date d) { return d == 0 ? d : zone.toUtc(d); };
    RecurrenceRule local = *stored;
    local.start = wall(local.start);
    local.until = wall(local.until);
    RecurrenceRule* rule = &local;
    const Date start = wall(utcStart);
    const auto store = [&] {
        *stored = local;
        stored->start = utc(local.start);
        stored->until = utc(local.until);
    };
    auto value = [this](const char* name) -> const std::string* {
        auto it = m_values.find(name);
        return it == m_values.end() ? nullptr : &it->second;
    };
    if (const std::string* repeat = value("--repeat")) {
        const Frequency f = ParseFrequency(*repeat);
        if (f == Frequency::None) {
            if (m_values.size() > 1) throw ClientError("--repeat none takes no other repetition options", 2);
            *stored = RecurrenceRule{};
            return;
        }
        if (f != rule->frequency) {
            // A new kind of repetition keeps only how the series ends.
            RecurrenceRule fresh;
            fresh.frequency = f;
            fresh.until = rule->until;
            fresh.count = rule->count;
            *rule = fresh;
        }
    }
    if (rule->frequency == Frequency::None)
        throw ClientError("say how it repeats with --repeat daily|weekly|monthly|yearly", 2);

    const Frequency f = rule->frequency;
    const bool byMonth = f == Frequency::Monthly || f == Frequency::Yearly;
    auto onlyFor = [&](const char* option, bool fits, const char* which) {
        if (value(option) && !fits)
            throw ClientError(std::string(option) + " is for " + which + " rules, not " + FrequencyWord(f) + " ones",
                              2);
    };
    onlyFor("--on", f == Frequency::Weekly || f == Frequency::Daily, "weekly");
    onlyFor("--day-of-month", byMonth, "monthly and yearly");
    onlyFor("--nth", byMonth, "monthly and yearly");
    onlyFor("--weekday", byMonth, "monthly and yearly");
    onlyFor("--month", f == Frequency::Yearly, "yearly");
    if (value("--day-of-month") && (value("--nth") || value("--weekday")))
        throw ClientError("give either --day-of-month or --nth with --weekday, not both", 2);
    if (value("--until") && value("--count")) throw ClientError("give either --until or --count, not both", 2);

    if (const std::string* every = value("--every")) rule->interval = ParseNumber(*every, "--every", 1, 9999);
    if (const std::string* on = value("--on")) {
        rule->weekdays = ParseWeekdays(*on, "--on");
        if (f == Frequency::Daily && rule->weekdays != kMondayToFriday)
            throw ClientError("--on with --repeat daily takes only weekdays; use --repeat weekly --on ...", 2);
    }
    if (const std::string* day = value("--day-of-month")) {
        rule->monthDay = ParseNumber(*day, "--day-of-month", 1, 31);
        rule->nth = 0;
        rule->weekdays = 0;
    }
    if (const std::string* nth = value("--nth")) rule->nth = ParseNth(*nth);
    if (const std::string* weekday = value("--weekday")) {
        if (rule->nth == 0) throw ClientError("--weekday needs --nth (which one of them in the month)", 2);
        rule->weekdays = ParseWeekdays(*weekday, "--weekday");
    }
    if (rule->nth != 0) rule->monthDay = 0;
    if (const std::string* month = value("--month")) rule->month = ParseMonth(*month);
    if (const std::string* until = value("--until")) {
        if (Lower(*until) == "none") {
            rule->until = 0;
        } else {
            std::string problem;
            auto day = ParseWhen(*until, zone.toLocal(ParseIsoDate("now")), &problem);
            if (!day) throw ClientError("--until: " + problem, 2);
            rule->until = SeriesStartOf(day->utc ? zone.toLocal(day->date) : day->date);
        }
        rule->count = 0;
    }
    if (const std::string* count = value("--count")) {
        rule->count = ParseNumber(*count, "--count", 1, 999999);
        rule->until = 0;
    }

    rule->start = SeriesStartOf(start);
    *rule = Resolved(*rule, start);
    if (rule->until != 0 && DayOfDate(rule->until) < DayOfDate(rule->start))
        throw ClientError("--until " + FormatIsoDay(rule->until) + " is before the start " + FormatIsoDay(rule->start),
                          2);
    tagRecurrence probe{};
    std::string problem;
    if (!ToRecord(*rule, &probe, &problem)) throw ClientError("cannot repeat that way: " + problem, 2);
    store();
}

}  // namespace calyra::cli
