// events month [YYYY-MM]: the month as a grid of weeks, recurring events
// expanded into the days they occur on, exceptions in place of the
// occurrences they replace. --json gives the same days as data.
//
// The command's options live in shared values its action holds.
// Thread-safety: one thread, like the command line.
#include <cctype>
#include <memory>
#include <set>

#include <fmt/format.h>

#include "calendar/days.h"
#include "calendar/month_grid.h"
#include "platform/bstr.h"
#include "records/event_records.h"
#include "records/profile_events.h"
#include "shell/client_error.h"
#include "shell/date_text.h"
#include "shell/record_id.h"

#include "commands/command_tree.h"
#include "shell/command_context.h"

namespace calyra::cli {

using namespace calendar;
namespace {

// The month's occurrences of the profile's events, filtered by category.
std::vector<Occurrence> MonthOccurrences(CommandContext& ctx, int year, int month, const std::string& category,
                                         bool selected) {
    const long long first = DayFromCivil(year, month, 1);
    const DATE from = SecondsToDate(first * kSecondsPerDay);
    const DATE to = SecondsToDate((first + DaysInMonth(year, month)) * kSecondsPerDay - 1);

    std::set<std::string> chosen;
    if (selected)
        for (const auto& c : AllCategories(ctx.session().access<IEventCategoryAccess>().get()))
            if (c["is_selected"] == true) chosen.insert(c["event_category_id"].get<std::string>());

    // The masters that can occur in the month and every exception, in two
    // queries; the rules are expanded here.
    const ProfileEvents stored(ctx.session(), DateRange{from, to});
    std::vector<Occurrence> out;
    for (const auto& e : stored.masters()) {
        const std::string categoryId = BstrUtf8(e.bstrEventCategoryID);
        if (!category.empty() && categoryId != category) continue;
        if (selected && !chosen.count(categoryId)) continue;
        const CalendarEvent series = ToCalendarEvent(e);
        std::vector<CalendarEvent> exceptions;
        if (series.rule.frequency != Frequency::None)
            for (const tagEventInfo* x : stored.exceptionsOf(series.id)) exceptions.push_back(ToCalendarEvent(*x));
        for (auto& o : ExpandEvent(series, exceptions, from, to)) out.push_back(std::move(o));
    }
    return out;
}

Json MonthJson(int year, int month, const std::vector<Occurrence>& occurrences) {
    Json days = Json::array();
    const auto byDay = OccurrencesByDay(year, month, occurrences);
    for (size_t i = 0; i < byDay.size(); ++i) {
        Json events = Json::array();
        for (const auto& o : byDay[i])
            events.push_back(Json{{"event_id", o.eventId},
                                  {"start", FormatIsoDate(o.start)},
                                  {"end", FormatIsoDate(o.end)},
                                  {"subject", o.subject},
                                  {"exception", o.exception}});
        days.push_back(Json{{"date", fmt::format("{:04}-{:02}-{:02}", year, month, i + 1)}, {"events", events}});
    }
    return Json{{"month", fmt::format("{:04}-{:02}", year, month)}, {"days", days}};
}

}  // namespace

void ParseYearMonth(const std::string& text, int* year, int* month) {
    bool ok = text.size() == 7 && text[4] == '-';
    for (size_t i : {0, 1, 2, 3, 5, 6}) ok = ok && std::isdigit(static_cast<unsigned char>(text[i]));
    if (ok) {
        *year = std::stoi(text.substr(0, 4));
        *month = std::stoi(text.substr(5, 2));
        ok = *year >= 100 && *month >= 1 && *month <= 12;
    }
    if (!ok) throw ClientError("not a month: \"" + text + "\" (use YYYY-MM)", 2);
}

void AddMonthCommand(CLI::App& events, CommandContext& ctx) {
    auto* cmd = events.add_subcommand("month", "Show a month as a grid of weeks (default: this month, UTC)");
    auto which = std::make_shared<std::string>();
    auto style = std::make_shared<GridStyle>();
    auto category = std::make_shared<std::string>();
    auto selected = std::make_shared<bool>(false);
    cmd->add_option("month", *which, "YYYY-MM");
    cmd->add_option("--cell-width", style->cellWidth, "Columns of a day's box (default 10)")->check(CLI::Range(3, 60));
    cmd->add_option("--lines", style->maxLines, "Event lines per week at most (default 3)")->check(CLI::Range(1, 20));
    auto* byCategory = cmd->add_option("--category", *category, "Only events of this category ID");
    cmd->add_flag("--selected", *selected, "Only events of the selected categories")->excludes(byCategory);
    ctx.bind(cmd, [&ctx, which, style, category, selected] {
        int year = 0, month = 0;
        if (which->empty()) {
            const CivilDate now = ToCivil(ParseIsoDate("now"));
            year = now.year;
            month = now.month;
        } else {
            ParseYearMonth(*which, &year, &month);
        }
        if (!category->empty()) CheckedId(*category, "event category");
        const auto occurrences = MonthOccurrences(ctx, year, month, *category, *selected);
        ctx.out().text(FormatMonthGrid(year, month, occurrences, *style), MonthJson(year, month, occurrences));
    });
}

}  // namespace calyra::cli
