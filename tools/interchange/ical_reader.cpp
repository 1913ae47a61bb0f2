#include "interchange/ical_reader.h"

#include <climits>

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "interchange/content_line.h"
#include "interchange/text_encoding.h"

namespace calyra::interchange {
namespace {

// A date or time the file format can hold. libical's own test refuses
// every year after 3000, which would lose dates people and the records
// keep (up to 9999).
bool Valid(const icaltimetype& t) {
    return t.year >= 0 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour >= 0 &&
           t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 60;
}

std::string Trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return std::string(s);
}

// The properties whose values are escaped text.
bool IsTextProperty(const std::string& name) {
    return name == "SUMMARY" || name == "DESCRIPTION" || name == "LOCATION" || name == "UID" || name == "CATEGORIES" ||
           name == "COMMENT";
}

// A logical line of a text property with every backslash that escapes a
// character iCalendar gives no meaning to dropped, so "\:" reads as ":" the
// way the writer meant it. libical would turn each into a blank, and a blank
// it makes at either end of the value would then be lost on the next read.
std::string WithPlainEscapesOnly(std::string_view line, size_t valueSize) {
    static constexpr std::string_view kMeaningful = "\\;,nNtTrRbBf\"";
    std::string out(line.substr(0, line.size() - valueSize));
    const std::string_view value = line.substr(line.size() - valueSize);
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            if (kMeaningful.find(value[i + 1]) != std::string_view::npos) out += value[i];
            out += value[++i];
        } else {
            out += value[i];
        }
    }
    return out;
}

// One component cut out of the file, ready for libical.
struct Block {
    size_t line = 0;                 // its BEGIN line
    std::string kind;                // "VEVENT", "VTODO", "VTIMEZONE" ...
    std::string text;                // its logical lines, CRLF-terminated
    std::vector<std::string> stack;  // open components inside it
    size_t calendar = 0;             // which VCALENDAR it sits in
    std::optional<Diagnostic> broken;
    bool keepText = true;  // false: only its bounds matter to this reading
};

// libical reads a line in time that grows with the square of its length
// (libical 3.0.16, one line parsed alone: 64 KiB 0.45 ms, 256 KiB 4.7 ms,
// 1 MiB 0.10 s, 2 MiB 0.37 s; a 50 MB line did not finish in 600 s), so no
// line longer than this reaches it: at 256 KiB a file of such lines costs
// libical about 18 ms a megabyte, near what reading the rest costs. Longer
// text values are cut to this length, other properties are left out; both
// are reported with their line.
constexpr size_t kMaxLineBytes = 256 * 1024;
// An entry is parsed by libical as one text; one larger than this (a
// million properties) is left out instead of held and parsed whole.
constexpr size_t kMaxEntryBytes = 16 * 1024 * 1024;

// The text properties a long value of which is cut rather than left out:
// what a person wrote, where the first 256 KiB still say what it is.
bool IsCuttableText(const std::string& name) {
    return name == "SUMMARY" || name == "DESCRIPTION" || name == "LOCATION" || name == "COMMENT";
}

// `value` cut to at most `limit` bytes, neither inside a UTF-8 sequence nor
// after the backslash of an escape.
std::string_view CutValue(std::string_view value, size_t limit) {
    size_t end = std::min(limit, value.size());
    while (end > 0 && end < value.size() && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) --end;
    size_t backslashes = 0;
    while (backslashes < end && value[end - 1 - backslashes] == '\\') ++backslashes;
    if (backslashes % 2 == 1) --end;
    return value.substr(0, end);
}

// Cuts the file into components, one at a time, and remembers
// calendar-level settings. Diagnostics go to the report set last, so a
// reading in batches hands each to the batch it was met in.
class Splitter {
public:
    // `zonesOnly`: only VTIMEZONE entries keep their text (the first pass
    // of a reading, which finds the zones every entry may name).
    Splitter(std::string_view text, bool zonesOnly) : m_lines(text), m_zonesOnly(zonesOnly) {}

    std::map<size_t, std::string> calendarZones;  // calendar -> X-WR-TIMEZONE

    void setReport(ParseReport* report) { m_report = report; }
    size_t offset() const { return m_lines.offset(); }

    // The next complete entry (broken ones included, with why), or nullopt
    // at the end of the file.
    std::optional<Block> next() {
        while (!m_ready) {
            std::optional<LogicalLine> logical = m_lines.next();
            if (!logical) {
                finish();
                break;
            }
            // Inside an entry whose text is not kept only BEGIN and END
            // lines matter; the first pass of a reading skips the rest
            // unread (a tenth of the time of reading a file).
            if (m_block && !m_block->keepText && !MayBeBeginOrEnd(logical->text)) continue;
            handle(AsUtf8(std::move(*logical)));
        }
        std::optional<Block> out = std::move(m_ready);
        m_ready.reset();
        return out;
    }

private:
    static bool IsEntryKind(const std::string& v) {
        return v == "VEVENT" || v == "VTODO" || v == "VJOURNAL" || v == "VFREEBUSY" || v == "VTIMEZONE" ||
               v == "VCALENDAR";
    }

    // False when the line's name (before its first ':' or ';') holds
    // neither BEGIN nor END in any case.
    static bool MayBeBeginOrEnd(std::string_view line) {
        const std::string name = AsciiUpper(line.substr(0, line.find_first_of(":;")));
        return name.find("BEGIN") != std::string::npos || name.find("END") != std::string::npos;
    }

    void finish() {
        if (m_finished) return;
        m_finished = true;
        flushStray();
        if (m_block) {
            m_report->skip(m_block->line,
                           m_block->kind + " has no END:" + m_block->kind + " before the end of the file");
            m_block.reset();
        }
        if (m_inCalendar) m_report->warn(m_calendarLine, "calendar has no END:VCALENDAR");
    }

    // The encoding is decided for each unfolded line: a fold may split a
    // UTF-8 sequence, which no check of the raw bytes may hold against the
    // file. A line that is not UTF-8 is read as Windows-1252, the file's
    // first such line reported.
    LogicalLine AsUtf8(LogicalLine logical) {
        if (IsValidUtf8(logical.text)) return logical;
        if (!m_legacyWarned)
            m_report->warn(logical.line, "line is not UTF-8; it and every other such line are read as Windows-1252");
        m_legacyWarned = true;
        logical.text = Windows1252ToUtf8(logical.text);
        return logical;
    }

    // The line as libical may be given it: a text value longer than
    // kMaxLineBytes cut, any other long property left out (nullopt), both
    // reported.
    std::optional<std::string> Bounded(const LogicalLine& logical, const ContentLine& l) {
        if (logical.text.size() <= kMaxLineBytes) return logical.text;
        const std::string size = std::to_string(logical.text.size());
        const size_t head = logical.text.size() - l.value.size();
        if (IsCuttableText(l.name) && head < kMaxLineBytes / 2) {
            m_report->warn(logical.line, l.name + " is " + size + " bytes long; cut to its first " +
                                             std::to_string(kMaxLineBytes / 1024) + " KiB");
            return logical.text.substr(0, head) + std::string(CutValue(l.value, kMaxLineBytes - head));
        }
        m_report->warn(logical.line, l.name + " is " + size + " bytes long; left out");
        return std::nullopt;
    }

    void closeBlock(size_t line) {
        m_report->skip(m_block->line,
                       m_block->kind + " has no END:" + m_block->kind + " before line " + std::to_string(line));
        m_block.reset();
    }

    void handle(const LogicalLine& logical) {
        ContentLine l;
        std::string error;
        const bool ok = ParseContentLine(logical, &l, &error);
        const std::string value = ok ? AsciiUpper(Trimmed(l.value)) : "";
        if (m_block) {
            if (!ok) {
                if (!m_block->broken) m_block->broken = Diagnostic{logical.line, error, true};
                return;
            }
            if (l.name == "BEGIN" && IsEntryKind(value)) {
                closeBlock(logical.line);
                // Read this line again outside the broken entry.
            } else if (l.name == "END" && value == "VCALENDAR") {
                closeBlock(logical.line);
            } else {
                append(logical, l, value);
                return;
            }
        }
        if (!ok) {
            stray(logical.line);
            return;
        }
        if (l.name == "BEGIN" && value == "VCALENDAR") {
            flushStray();
            if (m_inCalendar) m_report->warn(m_calendarLine, "calendar has no END:VCALENDAR");
            m_inCalendar = true;
            m_calendarLine = logical.line;
            ++m_calendar;
            return;
        }
        if (l.name == "BEGIN") {
            // Entries outside a VCALENDAR are read all the same.
            flushStray();
            const bool keep = !m_zonesOnly || value == "VTIMEZONE";
            m_block =
                Block{logical.line, value, keep ? logical.text + "\r\n" : "", {value}, m_calendar, std::nullopt, keep};
            return;
        }
        if (l.name == "END" && value == "VCALENDAR" && m_inCalendar) {
            m_inCalendar = false;
            return;
        }
        if (!m_inCalendar) {
            stray(logical.line);
            return;
        }
        if (l.name == "X-WR-TIMEZONE") {
            if (logical.text.size() <= kMaxLineBytes) calendarZones[m_calendar] = Trimmed(l.value);
        } else if (l.name != "VERSION" && l.name != "PRODID" && l.name != "CALSCALE" && l.name != "METHOD") {
            m_report->count(l.name);
        }
    }

    // One line of the open entry.
    void append(const LogicalLine& logical, const ContentLine& l, const std::string& value) {
        if (m_block->keepText && !m_block->broken) {
            if (std::optional<std::string> line = Bounded(logical, l)) {
                m_block->text +=
                    IsTextProperty(l.name)
                        ? WithPlainEscapesOnly(*line, line->size() - (logical.text.size() - l.value.size()))
                        : *line;
                m_block->text += "\r\n";
            }
            if (m_block->text.size() > kMaxEntryBytes) {
                m_block->broken = Diagnostic{
                    m_block->line,
                    m_block->kind + " is over " + std::to_string(kMaxEntryBytes >> 20) + " MiB long; left out", true};
                m_block->text.clear();
            }
        }
        if (l.name == "BEGIN") m_block->stack.push_back(value);
        if (l.name != "END") return;
        if (m_block->stack.empty() || m_block->stack.back() != value) {
            if (!m_block->broken)
                m_block->broken = Diagnostic{logical.line,
                                             "END:" + value + " does not close BEGIN:" +
                                                 (m_block->stack.empty() ? m_block->kind : m_block->stack.back()),
                                             true};
            // An END for the entry itself still ends it.
            while (!m_block->stack.empty() && m_block->stack.back() != value) m_block->stack.pop_back();
        }
        if (!m_block->stack.empty()) m_block->stack.pop_back();
        if (m_block->stack.empty()) {
            m_ready = std::move(m_block);
            m_block.reset();
        }
    }

    void stray(size_t line) {
        if (!m_strayFrom) m_strayFrom = line;
    }
    void flushStray() {
        if (m_strayFrom) m_report->warn(m_strayFrom, "text outside BEGIN:VCALENDAR ... END:VCALENDAR ignored");
        m_strayFrom = 0;
    }

    ContentLineReader m_lines;
    bool m_zonesOnly;
    ParseReport m_discarded;
    ParseReport* m_report = &m_discarded;
    std::optional<Block> m_block;
    std::optional<Block> m_ready;
    bool m_inCalendar = false;
    bool m_finished = false;
    bool m_legacyWarned = false;
    size_t m_calendarLine = 0;
    size_t m_calendar = 0;
    size_t m_strayFrom = 0;
};

struct ComponentDeleter {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using ComponentPtr = std::unique_ptr<icalcomponent, ComponentDeleter>;

// Before libical converts a time through a zone it expands every rule of
// the zone's observances, from the observance's DTSTART up to a few years
// past the time (at most to kZoneLastYear), into a list of offset changes.
// A rule repeating every second would fill gigabytes and run for hours, and
// one that never matches costs libical a search of about 0.3 s each time it
// sets the rule up (measured with libical 3.0.16). Zones change their
// offsets on the same days every year, so rules that repeat more often,
// skip years or cannot match are refused; a yearly rule is tried over 28
// years near the end of libical's range (between two century years the
// weekdays repeat every 28 years) and refused when it never matches there
// or, scaled to the years libical may expand, would bring more than
// kMaxZoneChanges changes (real zones from 1601 on bring about 2,000).
constexpr int kZoneLastYear = 2582;    // libical 3.0 with a 64-bit time_t
constexpr int kProbeFirstYear = 2552;  // a leap year, so a DTSTART on 29 February stays valid
constexpr int kProbeYears = 28;
constexpr long long kMaxZoneChanges = 10000;

// Why a yearly zone rule can never match, or empty. Zone rules name months
// and days of the month or of the week; with only those, a rule never
// matches exactly when no month it names has a day it names, or when it
// names an nth weekday no month (or year) has, or when a numbered weekday
// must also fall on given days of the month. Telling these apart here saves
// libical's search for a first change, which goes on to the year 20000.
std::string ImpossibleZoneDays(const icalrecurrencetype& r, const icaltimetype& start) {
    constexpr short kEnd = ICAL_RECURRENCE_ARRAY_MAX;
    static constexpr int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (r.by_year_day[0] != kEnd || r.by_week_no[0] != kEnd || r.by_set_pos[0] != kEnd || r.rscale)
        return "rule uses more than months and days";
    int longestMonth = 0;  // among the months the rule names (the start's month if none)
    for (int i = 0; i < ICAL_BY_MONTH_SIZE && (i == 0 || r.by_month[i] != kEnd); ++i) {
        const int month = r.by_month[0] == kEnd ? start.month : icalrecurrencetype_month_month(r.by_month[i]);
        if (month >= 1 && month <= 12) longestMonth = std::max(longestMonth, kMonthDays[month - 1]);
    }
    bool dayFits = r.by_month_day[0] == kEnd;
    for (int i = 0; i < ICAL_BY_MONTHDAY_SIZE && r.by_month_day[i] != kEnd; ++i)
        dayFits = dayFits || std::abs(r.by_month_day[i]) <= longestMonth;
    if (!dayFits) return "rule names days its months do not have";
    const int maxPosition = r.by_month[0] == kEnd ? 53 : 5;
    for (int i = 0; i < ICAL_BY_DAY_SIZE && r.by_day[i] != kEnd; ++i) {
        const int position = icalrecurrencetype_day_position(r.by_day[i]);
        if (std::abs(position) > maxPosition) return "rule names a weekday its months do not have";
        if (position != 0 && r.by_month_day[0] != kEnd) return "rule names both a numbered weekday and days";
    }
    return {};
}

// Empty when libical can expand the zone in bounded work; else why not.
std::string UnboundedZoneRule(icalcomponent* zone) {
    long long changes = 0;
    for (icalcomponent* observance = icalcomponent_get_first_component(zone, ICAL_ANY_COMPONENT); observance;
         observance = icalcomponent_get_next_component(zone, ICAL_ANY_COMPONENT)) {
        icalproperty* start = icalcomponent_get_first_property(observance, ICAL_DTSTART_PROPERTY);
        for (icalproperty* p = icalcomponent_get_first_property(observance, ICAL_RRULE_PROPERTY); p;
             p = icalcomponent_get_next_property(observance, ICAL_RRULE_PROPERTY)) {
            icalrecurrencetype rule = icalproperty_get_rrule(p);
            if (rule.freq == ICAL_NO_RECURRENCE) return "rule cannot be read";
            if (rule.freq != ICAL_YEARLY_RECURRENCE)
                return std::string("rule FREQ=") + icalrecur_freq_to_string(rule.freq) +
                       " repeats more often than yearly";
            if (rule.interval > 1) return "rule INTERVAL=" + std::to_string(rule.interval) + " skips years";
            if (!start) continue;  // libical leaves such an observance out
            icaltimetype from = icalproperty_get_dtstart(start);
            if (std::string why = ImpossibleZoneDays(rule, from); !why.empty()) return why;
            if (from.year >= kProbeFirstYear) continue;  // libical stops within a few decades
            const long long years = kZoneLastYear - from.year + 1;
            rule.until = icaltime_null_time();
            rule.count = 0;
            from.year = kProbeFirstYear;
            icalrecur_iterator* it = icalrecur_iterator_new(rule, from);
            if (!it) return "rule never matches";
            long long found = 0;
            for (icaltimetype t = icalrecur_iterator_next(it);
                 !icaltime_is_null_time(t) && t.year < kProbeFirstYear + kProbeYears && found <= kMaxZoneChanges;
                 t = icalrecur_iterator_next(it))
                ++found;
            icalrecur_iterator_free(it);
            if (found == 0) return "rule never matches";
            changes += (found * years + kProbeYears - 1) / kProbeYears;
            if (changes > kMaxZoneChanges)
                return "rules bring more than " + std::to_string(kMaxZoneChanges) + " offset changes";
        }
    }
    return {};
}

// The Windows zone names that phone-sync programs and Outlook write as
// TZIDs, with the IANA zone each stands for (the zone of the name's main
// territory). Such files usually carry a VTIMEZONE too, which then gives
// the offsets; this table gives the zone its name, and its offsets when
// the file has no VTIMEZONE.
const char* WindowsZone(const std::string& tzid) {
    static const std::map<std::string, const char*> kZones = {
        {"Hawaiian Standard Time", "Pacific/Honolulu"},
        {"Alaskan Standard Time", "America/Anchorage"},
        {"Pacific Standard Time", "America/Los_Angeles"},
        {"US Mountain Standard Time", "America/Phoenix"},
        {"Mountain Standard Time", "America/Denver"},
        {"Central Standard Time", "America/Chicago"},
        {"Central America Standard Time", "America/Guatemala"},
        {"Canada Central Standard Time", "America/Regina"},
        {"Central Standard Time (Mexico)", "America/Mexico_City"},
        {"Eastern Standard Time", "America/New_York"},
        {"US Eastern Standard Time", "America/Indiana/Indianapolis"},
        {"SA Pacific Standard Time", "America/Bogota"},
        {"Atlantic Standard Time", "America/Halifax"},
        {"Newfoundland Standard Time", "America/St_Johns"},
        {"E. South America Standard Time", "America/Sao_Paulo"},
        {"Argentina Standard Time", "America/Argentina/Buenos_Aires"},
        {"Pacific SA Standard Time", "America/Santiago"},
        {"GMT Standard Time", "Europe/London"},
        {"Greenwich Standard Time", "Atlantic/Reykjavik"},
        {"W. Europe Standard Time", "Europe/Berlin"},
        {"Central Europe Standard Time", "Europe/Budapest"},
        {"Romance Standard Time", "Europe/Paris"},
        {"Central European Standard Time", "Europe/Warsaw"},
        {"W. Central Africa Standard Time", "Africa/Lagos"},
        {"GTB Standard Time", "Europe/Bucharest"},
        {"E. Europe Standard Time", "Europe/Chisinau"},
        {"FLE Standard Time", "Europe/Kyiv"},
        {"Israel Standard Time", "Asia/Jerusalem"},
        {"Egypt Standard Time", "Africa/Cairo"},
        {"South Africa Standard Time", "Africa/Johannesburg"},
        {"Russian Standard Time", "Europe/Moscow"},
        {"Turkey Standard Time", "Europe/Istanbul"},
        {"Arab Standard Time", "Asia/Riyadh"},
        {"Arabian Standard Time", "Asia/Dubai"},
        {"Iran Standard Time", "Asia/Tehran"},
        {"Pakistan Standard Time", "Asia/Karachi"},
        {"India Standard Time", "Asia/Kolkata"},
        {"Nepal Standard Time", "Asia/Kathmandu"},
        {"Bangladesh Standard Time", "Asia/Dhaka"},
        {"SE Asia Standard Time", "Asia/Bangkok"},
        {"China Standard Time", "Asia/Shanghai"},
        {"Singapore Standard Time", "Asia/Singapore"},
        {"Taipei Standard Time", "Asia/Taipei"},
        {"W. Australia Standard Time", "Australia/Perth"},
        {"Tokyo Standard Time", "Asia/Tokyo"},
        {"Korea Standard Time", "Asia/Seoul"},
        {"Cen. Australia Standard Time", "Australia/Adelaide"},
        {"AUS Central Standard Time", "Australia/Darwin"},
        {"E. Australia Standard Time", "Australia/Brisbane"},
        {"AUS Eastern Standard Time", "Australia/Sydney"},
        {"Tasmania Standard Time", "Australia/Hobart"},
        {"Lord Howe Standard Time", "Australia/Lord_Howe"},
        {"New Zealand Standard Time", "Pacific/Auckland"},
        {"Tonga Standard Time", "Pacific/Tongatapu"},
    };
    const auto it = kZones.find(tzid);
    return it == kZones.end() ? nullptr : it->second;
}

// The zone's current name for an old one ("Asia/Calcutta" is now
// "Asia/Kolkata", "US/Eastern" is "America/New_York"): the zone database
// keeps old names as links to the current ones. Other names come back as
// they are.
std::string CurrentName(const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path root = fs::canonical(icaltzutil_get_zone_directory(), ec);
    if (ec) return name;
    const fs::path file = fs::canonical(root / name, ec);
    if (ec) return name;
    const std::string rootText = root.string() + "/", fileText = file.string();
    return fileText.rfind(rootText, 0) == 0 ? fileText.substr(rootText.size()) : name;
}

// The UTC moment of a wall time in `zone`. A wall time in the hour a clock
// change repeats means its first pass (RFC 5545); libical gives the second.
UtcSeconds FirstPass(const icaltimetype& wall, icaltimezone* zone) {
    const UtcSeconds utc = icaltime_as_timet_with_zone(wall, zone);
    const auto wallSeconds = [zone](UtcSeconds moment) {
        const icaltimetype w = icaltime_from_timet_with_zone(static_cast<time_t>(moment), 0, zone);
        return DaysFromCivil(w.year, w.month, w.day) * 86400 + w.hour * 3600 + w.minute * 60 + w.second;
    };
    const UtcSeconds wanted = wallSeconds(utc);
    // A day earlier the zone showed the offset in force before any change.
    const UtcSeconds earlier = wanted - (wallSeconds(utc - 86400) - (utc - 86400));
    return earlier < utc && wallSeconds(earlier) == wanted ? earlier : utc;
}

// The zones an entry's TZID parameters may name: the file's VTIMEZONEs
// first, then the system's zone database.
class ZoneSet {
public:
    ~ZoneSet() {
        for (auto& [tzid, zone] : m_own) icaltimezone_free(zone, 1);
    }

    void add(const Block& block, ParseReport& report) {
        icalcomponent* c = icalparser_parse_string(block.text.c_str());
        if (!c || icalcomponent_isa(c) != ICAL_VTIMEZONE_COMPONENT) {
            if (c) icalcomponent_free(c);
            report.warn(block.line, "VTIMEZONE cannot be read; ignored");
            return;
        }
        if (std::string why = UnboundedZoneRule(c); !why.empty()) {
            icalproperty* tzid = icalcomponent_get_first_property(c, ICAL_TZID_PROPERTY);
            const char* name = tzid ? icalproperty_get_tzid(tzid) : nullptr;
            report.warn(block.line, "VTIMEZONE \"" + std::string(name ? name : "") + "\": " + why + "; ignored");
            icalcomponent_free(c);
            return;
        }
        icaltimezone* zone = icaltimezone_new();
        if (!icaltimezone_set_component(zone, c)) {
            icalcomponent_free(c);
            icaltimezone_free(zone, 1);
            report.warn(block.line, "VTIMEZONE has no TZID; ignored");
            return;
        }
        std::string tzid = icaltimezone_get_tzid(zone);
        if (auto old = m_own.find(tzid); old != m_own.end()) icaltimezone_free(old->second, 1);
        m_own[tzid] = zone;
    }

    // nullptr when neither the file nor the system knows the zone.
    icaltimezone* find(const std::string& tzid) const {
        if (auto it = m_own.find(tzid); it != m_own.end()) return it->second;
        if (IsUtcName(tzid)) return icaltimezone_get_utc_timezone();
        const std::string name = IanaName(tzid);
        return name.empty() ? nullptr : icaltimezone_get_builtin_timezone(name.c_str());
    }

    // The IANA name a TZID stands for: the name itself, the name after a
    // prefix ("/mozilla.org/20050126_1/Europe/Berlin"), or the zone a
    // Windows name ("W. Europe Standard Time") means; empty for UTC and for
    // names the zone database does not know.
    static std::string IanaName(const std::string& tzid) {
        if (tzid.empty() || IsUtcName(tzid)) return {};
        if (icaltimezone_get_builtin_timezone(tzid.c_str())) return CurrentName(tzid);
        for (size_t slash = tzid.find('/'); slash != std::string::npos; slash = tzid.find('/', slash + 1)) {
            std::string tail = tzid.substr(slash + 1);
            if (tail.find('/') == std::string::npos) break;
            if (icaltimezone_get_builtin_timezone(tail.c_str())) return CurrentName(tail);
        }
        if (const char* mapped = WindowsZone(tzid); mapped && icaltimezone_get_builtin_timezone(mapped)) return mapped;
        return {};
    }

    // True the first time a TZID defined only by the file is met, so its
    // report line comes once per file.
    bool firstNameless(const std::string& tzid) { return m_nameless.insert(tzid).second; }

private:
    static bool IsUtcName(const std::string& tzid) {
        const std::string upper = AsciiUpper(tzid);
        return upper == "UTC" || upper == "GMT" || upper == "Z";
    }

    std::map<std::string, icaltimezone*> m_own;
    std::set<std::string> m_nameless;
};

// Reading one entry: its zones, its diagnostics, its item.
class EntryReader {
public:
    EntryReader(ZoneSet& zones, icaltimezone* floating, ParseReport& report, size_t line)
        : m_zones(zones), m_floating(floating), m_report(report), m_line(line) {}

    std::map<std::string, size_t> unmapped;
    std::vector<Diagnostic> warnings;

    void warn(std::string what) { warnings.push_back({m_line, std::move(what), false}); }

    // The property's time in UTC seconds; `isDate` tells whether it was a
    // DATE. The zone used is remembered for UNTIL, and the IANA name of a
    // zone named by TZID for the item.
    std::optional<UtcSeconds> toUtc(icalproperty* p, icaltimetype t, bool* isDate = nullptr,
                                    icaltimezone** zoneUsed = nullptr, std::string* zoneName = nullptr) {
        if (icaltime_is_null_time(t) || !Valid(t)) return std::nullopt;
        if (isDate) *isDate = t.is_date != 0;
        if (t.is_date) return DaysFromCivil(t.year, t.month, t.day) * 86400;
        icaltimezone* zone = icaltimezone_get_utc_timezone();
        if (!icaltime_is_utc(t)) {
            if (icalparameter* tz = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER)) {
                const char* text = icalparameter_get_tzid(tz);
                const std::string tzid = text ? text : "";
                if (icaltimezone* found = m_zones.find(tzid)) {
                    zone = found;
                    const std::string name = ZoneSet::IanaName(tzid);
                    if (zoneName) *zoneName = name;
                    if (name.empty() && zone != icaltimezone_get_utc_timezone() && m_zones.firstNameless(tzid))
                        warn("time zone \"" + tzid +
                             "\" is no zone name the calendar knows; its times are read through the file's "
                             "VTIMEZONE and kept in UTC");
                } else {
                    warn("unknown time zone \"" + tzid + "\"; its times read as UTC");
                }
            } else if (m_floating) {
                zone = m_floating;
            }
        }
        if (zoneUsed) *zoneUsed = zone;
        t.zone = nullptr;
        return FirstPass(t, zone);
    }

    std::optional<CalendarItem> read(icalcomponent* c) {
        CalendarItem item;
        item.kind = icalcomponent_isa(c) == ICAL_VTODO_COMPONENT ? ItemKind::Todo : ItemKind::Event;
        item.line = m_line;
        std::optional<int> durationSeconds;
        bool startIsDate = false, endIsDate = false;
        icaltimezone* startZone = nullptr;
        icaltimetype startValue = icaltime_null_time();
        icalproperty* rrule = nullptr;
        std::string transp;
        for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_ANY_PROPERTY); p;
             p = icalcomponent_get_next_property(c, ICAL_ANY_PROPERTY)) {
            switch (icalproperty_isa(p)) {
                case ICAL_UID_PROPERTY:
                    item.uid = Text(icalproperty_get_uid(p));
                    break;
                case ICAL_SUMMARY_PROPERTY:
                    item.summary = Text(icalproperty_get_summary(p));
                    break;
                case ICAL_DESCRIPTION_PROPERTY:
                    item.description = Text(icalproperty_get_description(p));
                    break;
                case ICAL_LOCATION_PROPERTY:
                    item.location = Text(icalproperty_get_location(p));
                    break;
                case ICAL_DTSTART_PROPERTY:
                    startValue = icalproperty_get_dtstart(p);
                    item.start = toUtc(p, startValue, &startIsDate, &startZone, &item.timeZone);
                    break;
                case ICAL_DTEND_PROPERTY:
                    item.end = toUtc(p, icalproperty_get_dtend(p), &endIsDate);
                    break;
                case ICAL_DUE_PROPERTY:
                    item.due = toUtc(p, icalproperty_get_due(p), &endIsDate);
                    break;
                case ICAL_DURATION_PROPERTY:
                    durationSeconds = icaldurationtype_as_int(icalproperty_get_duration(p));
                    break;
                case ICAL_STATUS_PROPERTY:
                    item.status = ValueText(p);
                    break;
                case ICAL_PRIORITY_PROPERTY: {
                    // 0 to 9; anything else (libical reads any integer) is
                    // no priority, as it could not be written back.
                    const int priority = icalproperty_get_priority(p);
                    item.priority = priority >= 0 && priority <= 9 ? priority : 0;
                    break;
                }
                case ICAL_CLASS_PROPERTY:
                    item.classification = ValueText(p);
                    break;
                case ICAL_TRANSP_PROPERTY:
                    transp = ValueText(p);
                    break;
                case ICAL_CATEGORIES_PROPERTY: {
                    std::string cat = Trimmed(Text(icalproperty_get_categories(p)));
                    if (!cat.empty() &&
                        std::find(item.categories.begin(), item.categories.end(), cat) == item.categories.end())
                        item.categories.push_back(cat);
                    break;
                }
                case ICAL_RRULE_PROPERTY:
                    if (rrule)
                        ++unmapped["RRULE"];
                    else
                        rrule = p;
                    break;
                case ICAL_EXDATE_PROPERTY:
                    if (auto t = toUtc(p, icalproperty_get_exdate(p))) item.exdates.push_back(*t);
                    break;
                case ICAL_RDATE_PROPERTY: {
                    const icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
                    const icaltimetype t = icaltime_is_null_time(rdate.time) ? rdate.period.start : rdate.time;
                    if (auto utc = toUtc(p, t)) item.rdates.push_back(*utc);
                    break;
                }
                case ICAL_RECURRENCEID_PROPERTY:
                    item.recurrenceId = toUtc(p, icalproperty_get_recurrenceid(p));
                    if (icalproperty_get_first_parameter(p, ICAL_RANGE_PARAMETER)) ++unmapped["RECURRENCE-ID;RANGE"];
                    break;
                case ICAL_COMPLETED_PROPERTY:
                    item.completed = toUtc(p, icalproperty_get_completed(p));
                    break;
                case ICAL_PERCENTCOMPLETE_PROPERTY:
                    item.percentComplete = icalproperty_get_percentcomplete(p);
                    break;
                case ICAL_DTSTAMP_PROPERTY:
                    break;  // when the file was written, not part of the item
                case ICAL_X_PROPERTY: {
                    const std::string name = AsciiUpper(Text(icalproperty_get_x_name(p)));
                    // Outlook's four words are the busy status; any other
                    // text stays the entry's own, kept with its original.
                    const std::string word =
                        name == "X-MICROSOFT-CDO-BUSYSTATUS" ? AsciiUpper(Trimmed(ValueText(p))) : "";
                    if (word == "FREE" || word == "TENTATIVE" || word == "BUSY" || word == "OOF")
                        item.busyStatus = word;
                    else
                        ++unmapped[name];
                    break;
                }
                case ICAL_XLICERROR_PROPERTY: {
                    const std::string what = Trimmed(Text(icalproperty_get_xlicerror(p)));
                    // libical drops a rule it cannot parse; the item keeps
                    // its text so the caller can refuse it by name rather
                    // than store it without its repetition.
                    constexpr std::string_view kDropped = "Removing entire property: ";
                    if (const size_t at = what.find(kDropped);
                        at != std::string::npos && what.find("RRULE property") != std::string::npos && !rrule)
                        item.rrule = what.substr(at + kDropped.size());
                    else
                        warn(what);
                    break;
                }
                default:
                    ++unmapped[AsciiUpper(Text(icalproperty_get_property_name(p)))];
                    break;
            }
        }
        if (item.kind == ItemKind::Event && !item.start) {
            m_report.skip(m_line, "event has no readable start (DTSTART)");
            return std::nullopt;
        }
        item.allDay = item.start ? startIsDate : (item.due && endIsDate);
        if (item.allDay) item.timeZone.clear();
        if (durationSeconds && item.start) {
            if (item.kind == ItemKind::Event && !item.end) item.end = *item.start + *durationSeconds;
            if (item.kind == ItemKind::Todo && !item.due) item.due = *item.start + *durationSeconds;
        }
        if (item.kind == ItemKind::Event && !item.end) item.end = *item.start + (item.allDay ? 86400 : 0);
        if (item.busyStatus.empty() && !transp.empty())
            item.busyStatus = AsciiUpper(transp) == "TRANSPARENT" ? "FREE" : "BUSY";
        if (rrule) readRule(rrule, startValue, startZone, item);
        readAlarms(c, item);
        // Kept without libical's notes on what it could not read: those
        // are reported, and written back they would be errors of their own.
        WithoutErrors(c);
        if (char* text = icalcomponent_as_ical_string_r(c)) {
            item.original = text;
            icalmemory_free_buffer(text);
        }
        return item;
    }

private:
    // libical drops the byte after a backslash it does not know, which can
    // cut a UTF-8 sequence in two; what it hands back is made valid again,
    // and control characters a file cannot carry are left out, so what is
    // read is what a written file gives back.
    // Blanks at either end are dropped: libical drops them from a line as
    // it reads it, so a value that kept them would change on its next read.
    static std::string Text(const char* s) {
        return s ? std::string(TrimBlanks(WithoutControlCharacters(ToValidUtf8(s)))) : "";
    }
    static std::string ValueText(icalproperty* p) { return AsciiUpper(Text(icalproperty_get_value_as_string(p))); }

    void readRule(icalproperty* p, icaltimetype startValue, icaltimezone* startZone, CalendarItem& item) {
        icalrecurrencetype rule = icalproperty_get_rrule(p);
        // An UNTIL that is no day of the calendar (month 61) ends the series
        // nowhere: libical's time arithmetic on it gives another date on
        // each write and read, so the rule is refused like an unreadable one.
        const icaltimetype& until = rule.until;
        const bool badUntil = !icaltime_is_null_time(until) &&
                              (until.year < 1 || until.year > 9999 || until.month < 1 || until.month > 12 ||
                               until.day < 1 || until.day > icaltime_days_in_month(until.month, until.year) ||
                               until.hour > 23 || until.minute > 59 || until.second > 60);
        if (rule.freq == ICAL_NO_RECURRENCE || badUntil) {
            // Kept as written: the caller refuses the item by name rather
            // than store it without its repetition.
            if (const char* text = icalproperty_get_value_as_string(p)) item.rrule = text;
            if (item.rrule.empty()) item.rrule = "(unreadable)";
            return;
        }
        icaltimezone* utc = icaltimezone_get_utc_timezone();
        icaltimezone* zone = startZone ? startZone : utc;
        if (!icaltime_is_null_time(rule.until) && !rule.until.is_date && !startValue.is_date &&
            !icaltime_is_null_time(startValue) && item.start) {
            // UNTIL is written as the last occurrence's start: the last day
            // (in the start's zone) whose occurrence is not after UNTIL, at
            // the start's time of day, in UTC. Daylight saving moves UTC
            // times of day, so the day is found in local time.
            icaltimetype until = rule.until;
            const bool utcUntil = icaltime_is_utc(until);
            until.zone = nullptr;
            const time_t untilUtc = icaltime_as_timet_with_zone(until, utcUntil ? utc : zone);
            // An item that keeps a zone name is written, and its series
            // counted, in the zone database's zone of that name, which the
            // file's VTIMEZONE of the same name may contradict (a
            // "Europe/Berlin" at +07:00): the day and the start's time of
            // day are taken there, so a written file reads back the same.
            icaltimezone* dayZone = zone;
            if (!item.timeZone.empty())
                if (icaltimezone* named = icaltimezone_get_builtin_timezone(item.timeZone.c_str())) dayZone = named;
            const icaltimetype startWall = icaltime_from_timet_with_zone(static_cast<time_t>(*item.start), 0, dayZone);
            icaltimetype local = icaltime_from_timet_with_zone(untilUtc, 0, dayZone);
            icaltimetype last = local;
            last.hour = startWall.hour;
            last.minute = startWall.minute;
            last.second = startWall.second;
            last.zone = nullptr;
            local.zone = nullptr;
            if (icaltime_compare(last, local) > 0) icaltime_adjust(&last, -1, 0, 0, 0);
            const UtcSeconds lastUtc = icaltime_as_timet_with_zone(last, dayZone);
            // An item that keeps its zone keeps that occurrence's own start,
            // whose day in the zone ends the series. Any other is kept in
            // the terms of the UTC start: that occurrence's UTC day at the
            // start's UTC time of day.
            if (!item.timeZone.empty()) {
                rule.until = icaltime_from_timet_with_zone(static_cast<time_t>(lastUtc), 0, utc);
                return WriteRule(rule, item);
            }
            const UtcSeconds day = lastUtc >= 0 ? lastUtc / 86400 : (lastUtc - 86399) / 86400;
            const UtcSeconds startUtc = *item.start;
            const UtcSeconds startSecond = ((startUtc % 86400) + 86400) % 86400;
            rule.until = icaltime_from_timet_with_zone(static_cast<time_t>(day * 86400 + startSecond), 0, utc);
        }
        WriteRule(rule, item);
    }

    static void WriteRule(icalrecurrencetype& rule, CalendarItem& item) {
        if (char* text = icalrecurrencetype_as_string_r(&rule)) {
            item.rrule = text;
            icalmemory_free_buffer(text);
        }
    }

    static void WithoutErrors(icalcomponent* c) {
        std::vector<icalproperty*> errors;
        for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_XLICERROR_PROPERTY); p;
             p = icalcomponent_get_next_property(c, ICAL_XLICERROR_PROPERTY))
            errors.push_back(p);
        for (icalproperty* p : errors) {
            icalcomponent_remove_property(c, p);
            icalproperty_free(p);
        }
        for (icalcomponent* sub = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); sub;
             sub = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT))
            WithoutErrors(sub);
    }

    void readAlarms(icalcomponent* c, CalendarItem& item) {
        bool first = true;
        for (icalcomponent* sub = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); sub;
             sub = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT)) {
            if (icalcomponent_isa(sub) != ICAL_VALARM_COMPONENT) {
                ++unmapped[AsciiUpper(Text(icalcomponent_kind_to_string(icalcomponent_isa(sub))))];
                continue;
            }
            if (!first) {
                ++unmapped["VALARM"];
                continue;
            }
            icalproperty* trigger = icalcomponent_get_first_property(sub, ICAL_TRIGGER_PROPERTY);
            if (!trigger) {
                warn("VALARM has no TRIGGER; left out");
                continue;
            }
            first = false;
            std::optional<UtcSeconds> base = item.start ? item.start : item.due;
            icalparameter* related = icalproperty_get_first_parameter(trigger, ICAL_RELATED_PARAMETER);
            const bool fromEnd = related && icalparameter_get_related(related) == ICAL_RELATED_END;
            std::optional<UtcSeconds> anchor = fromEnd ? (item.kind == ItemKind::Event ? item.end : item.due) : base;
            icaltriggertype t = icalproperty_get_trigger(trigger);
            std::optional<UtcSeconds> when;
            if (!icaltime_is_null_time(t.time))
                when = toUtc(trigger, t.time);
            else if (anchor)
                when = *anchor + icaldurationtype_as_int(t.duration);
            if (!when || !base) {
                warn("VALARM has no time to count from; left out");
                continue;
            }
            // Counted from where the file counts, so writing it back keeps RELATED=END.
            const bool alarmFromEnd = fromEnd && anchor;
            const long long minutes = ((alarmFromEnd ? *anchor : *base) - *when) / 60;
            // libical reads a duration's seconds as an int: an alarm further
            // from its item than that would not read back as written.
            if (minutes > INT_MAX / 60 || minutes < -(INT_MAX / 60)) {
                warn("VALARM is too far from its item; left out");
                continue;
            }
            item.alarmFromEnd = alarmFromEnd;
            item.alarmMinutes = static_cast<int>(minutes);
        }
    }

    ZoneSet& m_zones;
    icaltimezone* m_floating;
    ParseReport& m_report;
    size_t m_line;
};

}  // namespace

bool KnownTimeZone(const std::string& name) { return ZoneSet().find(name) != nullptr; }

long long DaysFromCivil(int y, int m, int d) {
    // std::chrono's calendar; libical's years are four digits.
    using namespace std::chrono;
    const year_month_day first{year{y}, month{static_cast<unsigned>(m)}, day{1}};
    return (sys_days{first} + days{d - 1}).time_since_epoch().count();
}

namespace {

// A reading of one file: a first pass finds the zones and calendar
// settings that any entry may use (a VTIMEZONE may stand after the entries
// that name it), a second hands out the entries in file order.
class CalendarReading {
public:
    CalendarReading(std::string_view text, const ICalReadOptions& options)
        : m_options(options), m_entries(text, false) {
        Splitter zones(text, true);
        while (std::optional<Block> block = zones.next()) {
            if (block->kind != "VTIMEZONE" || block->broken) continue;
            ParseReport report;
            m_zones.add(*block, report);
            if (!report.diagnostics.empty()) m_zoneDiagnostics[block->line] = std::move(report.diagnostics);
        }
        m_calendarZones = std::move(zones.calendarZones);
    }

    // Reads on until `batch` holds `limit` items or the file ends; false
    // when the file ended.
    bool fill(ICalParseResult& batch, size_t limit) {
        m_entries.setReport(&batch.report);
        while (batch.items.size() < limit) {
            std::optional<Block> block = m_entries.next();
            if (!block) return false;
            read(*block, batch);
        }
        return true;
    }
    size_t offset() const { return m_entries.offset(); }

private:
    void read(const Block& block, ICalParseResult& result) {
        if (block.broken) {
            result.report.diagnostics.push_back(*block.broken);
            return;
        }
        if (block.kind == "VTIMEZONE") {
            if (auto it = m_zoneDiagnostics.find(block.line); it != m_zoneDiagnostics.end())
                for (const auto& d : it->second) result.report.diagnostics.push_back(d);
            return;
        }
        if (block.kind != "VEVENT" && block.kind != "VTODO") {
            result.report.count(block.kind);
            return;
        }
        icaltimezone* floating = nullptr;
        std::string floatingName = m_options.floatingZone;
        if (auto it = m_calendarZones.find(block.calendar); it != m_calendarZones.end()) floatingName = it->second;
        if (!floatingName.empty()) {
            floating = m_zones.find(floatingName);
            if (!floating && !m_floatingWarned[floatingName]) {
                result.report.warn(block.line, "unknown time zone \"" + floatingName + "\"; local times read as UTC");
                m_floatingWarned[floatingName] = true;
            }
        }
        ComponentPtr component(icalparser_parse_string(block.text.c_str()));
        if (!component || (icalcomponent_isa(component.get()) != ICAL_VEVENT_COMPONENT &&
                           icalcomponent_isa(component.get()) != ICAL_VTODO_COMPONENT)) {
            result.report.skip(block.line, block.kind + " cannot be read");
            return;
        }
        EntryReader reader(m_zones, floating, result.report, block.line);
        std::optional<CalendarItem> item = reader.read(component.get());
        if (!item) return;
        for (auto& w : reader.warnings) result.report.diagnostics.push_back(std::move(w));
        for (const auto& [name, n] : reader.unmapped) result.report.unmapped[name] += n;
        result.items.push_back(std::move(*item));
    }

    const ICalReadOptions& m_options;
    ZoneSet m_zones;
    std::map<size_t, std::vector<Diagnostic>> m_zoneDiagnostics;  // VTIMEZONE line -> its problems
    std::map<size_t, std::string> m_calendarZones;
    std::map<std::string, bool> m_floatingWarned;  // zone name -> already reported
    Splitter m_entries;
};

void ReadTextInBatches(std::string_view text, size_t itemsPerBatch, const ICalReadOptions& options,
                       const std::function<void(ICalParseResult&, size_t)>& visit) {
    icalerror_set_errors_are_fatal(0);
    CalendarReading reading(text, options);
    while (true) {
        ICalParseResult batch;
        const bool more = reading.fill(batch, itemsPerBatch);
        // The last batch carries what the end of the file brought, and
        // may hold no items.
        visit(batch, more ? reading.offset() : text.size());
        if (!more) return;
    }
}

}  // namespace

void ReadICalendarBatches(std::string_view bytes, size_t itemsPerBatch,
                          const std::function<void(ICalParseResult& batch, size_t bytesRead)>& visit,
                          const ICalReadOptions& options) {
    if (itemsPerBatch == 0) itemsPerBatch = 1;
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
        // UTF-16 is converted whole; offsets into the converted text say
        // nothing about the input, which is all read with the last batch.
        const std::string text = NormalizeInput(bytes);
        ReadTextInBatches(text, itemsPerBatch, options, [&](ICalParseResult& batch, size_t read) {
            visit(batch, read == text.size() ? bytes.size() : 0);
        });
        return;
    }
    const size_t bom = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    ReadTextInBatches(bytes.substr(bom), itemsPerBatch, options,
                      [&](ICalParseResult& batch, size_t read) { visit(batch, read + bom); });
}

ICalParseResult ParseICalendar(std::string_view bytes, const ICalReadOptions& options) {
    ICalParseResult result;
    ReadICalendarBatches(
        bytes, std::numeric_limits<size_t>::max(),
        [&](ICalParseResult& batch, size_t) {
            for (auto& item : batch.items) result.items.push_back(std::move(item));
            for (auto& d : batch.report.diagnostics) result.report.diagnostics.push_back(std::move(d));
            for (const auto& [name, n] : batch.report.unmapped) result.report.unmapped[name] += n;
        },
        options);
    return result;
}

}  // namespace calyra::interchange
