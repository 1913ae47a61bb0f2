// A recurrence rule in words: "every 2 weeks on Mon, Wed, until
// 2027-03-01", "daily", "every month on day 15, 10 times", "yearly on the
// 2nd Tuesday of March"; "" when the event does not repeat. A rule that
// RuleProblem() finds fault with says so: "(not understood, shown once:
// ...)".
//
// Texts are returned by value. Thread-safety: pure functions.
#pragma once

#include <string>

#include "calendar/recurrence_rule.h"

namespace calyra::calendar {

std::string DescribeRule(const RecurrenceRule& rule);

// "Mon, Wed" (Monday first) for a day mask.
std::string WeekdayList(unsigned weekdays);
// "Tuesday"; 0 = Sunday.
const char* WeekdayName(int weekday);
// "March"; 1 = January.
const char* MonthName(int month);

}  // namespace calyra::calendar
