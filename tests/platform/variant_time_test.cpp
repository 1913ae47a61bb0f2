// Automation date conversions against known vectors.
#include <gtest/gtest.h>

#include <tuple>

#include "platform/variant_time.h"

namespace {

struct DateVector {
    DATE date;
    WORD year, month, day, hour, minute, second, dayOfWeek;
};

// Known values, including the negative-date rule: the integer part counts
// days back and the fraction is the time of day by its absolute value.
const DateVector kVectors[] = {
    {0.0, 1899, 12, 30, 0, 0, 0, 6},
    {1.0, 1899, 12, 31, 0, 0, 0, 0},
    {2.0, 1900, 1, 1, 0, 0, 0, 1},
    {61.0, 1900, 3, 1, 0, 0, 0, 4},
    {36585.0, 2000, 2, 29, 0, 0, 0, 2},
    {40493.5, 2010, 11, 11, 12, 0, 0, 4},
    {40493.0 + 29109.0 / 86400.0, 2010, 11, 11, 8, 5, 9, 4},
    {-1.25, 1899, 12, 29, 6, 0, 0, 5},
    {-5.25, 1899, 12, 25, 6, 0, 0, 1},
    {-0.25, 1899, 12, 30, 6, 0, 0, 6},
    {0.25, 1899, 12, 30, 6, 0, 0, 6},
    {-657434.0, 100, 1, 1, 0, 0, 0, 5},
    {2958465.0 + 86399.0 / 86400.0, 9999, 12, 31, 23, 59, 59, 5},
};

}  // namespace

TEST(VariantTime, SplitsAndBuildsKnownDates) {
    for (const auto& v : kVectors) {
        SYSTEMTIME st{};
        ASSERT_TRUE(VariantTimeToSystemTime(v.date, &st)) << v.date;
        EXPECT_EQ(
            std::tie(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek),
            std::make_tuple(v.year, v.month, v.day, v.hour, v.minute, v.second, WORD{0}, v.dayOfWeek))
            << v.date;
        if (v.date == -0.25) continue;  // the same calendar time as +0.25
        SYSTEMTIME built{v.year, v.month, 0, v.day, v.hour, v.minute, v.second, 0};
        DATE d = 0;
        ASSERT_TRUE(SystemTimeToVariantTime(&built, &d));
        EXPECT_NEAR(d, v.date, 1e-9) << v.year << "-" << v.month << "-" << v.day;
    }
}

TEST(VariantTime, RoundsToNearestSecondAndCarries) {
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(0.6 / 86400.0, &st));
    EXPECT_EQ(st.wSecond, 1);
    ASSERT_TRUE(VariantTimeToSystemTime(0.4 / 86400.0, &st));
    EXPECT_EQ(st.wSecond, 0);
    // Half a second before midnight rolls into the next day.
    ASSERT_TRUE(VariantTimeToSystemTime(1.0 - 0.4 / 86400.0, &st));
    EXPECT_EQ(st.wDay, 31);
    EXPECT_EQ(st.wHour, 0);
}

TEST(VariantTime, RefusesDatesOutsideRangeLeavingTheResultUntouched) {
    for (DATE date : {-657435.0, 2958466.0}) {
        SYSTEMTIME st{1, 2, 3, 4, 5, 6, 7, 8};
        EXPECT_FALSE(VariantTimeToSystemTime(date, &st)) << date;
        EXPECT_EQ(st.wYear, 1) << date;
    }
}

// A test of its own: the Windows build leaves it out, as Wine accepts NaN.
TEST(VariantTime, RefusesNaN) {
    SYSTEMTIME st{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_FALSE(VariantTimeToSystemTime(std::numeric_limits<double>::quiet_NaN(), &st));
    EXPECT_EQ(st.wYear, 1);  // untouched
}

// Two-digit years, day 0 and days past a month's end are read the Windows
// way; only fields that cannot be read at all are refused.
TEST(VariantTime, ReadsSystemTimesTheWindowsWay) {
    const struct {
        WORD year, month, day;
        INT ok;
        DATE date;
    } kCases[] = {
        {1980, 1, 1, TRUE, 29221.0},   {1980, 1, 0, TRUE, 29220.0}, {2001, 2, 29, TRUE, 36951.0},
        {90, 12, 31, TRUE, 33238.0},   {29, 1, 1, TRUE, 47119.0},   {0, 1, 1, TRUE, 36526.0},
        {9999, 1, 1, TRUE, 2958101.0}, {1980, 13, 1, FALSE, 0},     {1980, 1, 32, FALSE, 0},
        {10000, 1, 1, FALSE, 0},
    };
    for (const auto& c : kCases) {
        SYSTEMTIME st{c.year, c.month, 0, c.day, 0, 0, 0, 0};
        DATE d = -1;
        EXPECT_EQ(SystemTimeToVariantTime(&st, &d), c.ok) << c.year << "-" << c.month << "-" << c.day;
        if (c.ok) {
            EXPECT_EQ(d, c.date) << c.year << "-" << c.month << "-" << c.day;
        }
    }
}

// The window's edge: 30 is 1930 (Wine 8 still reads it as 2030, so the
// Windows build leaves this test out).
TEST(VariantTime, YearThirtyIsNineteenThirty) {
    SYSTEMTIME st{30, 1, 0, 1, 0, 0, 0, 0};
    DATE d = -1;
    EXPECT_TRUE(SystemTimeToVariantTime(&st, &d));
    EXPECT_EQ(d, 10959.0);
}
