// BSTR layout and allocation rules, and the Bstr holder.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "platform/bstr.h"

using calyra::Bstr;

TEST(Bstr, PrefixHoldsByteCountTextIsTerminatedAndNullCountsAsEmpty) {
    BSTR b = SysAllocString(calyra::AsOle(u"abc"));
    ASSERT_NE(b, nullptr);
    DWORD prefix;
    std::memcpy(&prefix, reinterpret_cast<BYTE*>(b) - 4, 4);
    EXPECT_EQ(prefix, 6u);
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(SysStringByteLen(b), 6u);
    EXPECT_EQ(b[3], 0);
    SysFreeString(b);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
    BSTR empty = SysAllocString(calyra::AsOle(u""));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
}

// Copies by length keep embedded zero units: record copies
// (record_info_test.cpp) and statements (tests/core/sql_text_test.cpp) rely
// on it and check it.

TEST(Bstr, ImpossibleLengthFailsInsteadOfOverflowing) {
    EXPECT_EQ(SysAllocStringLen(nullptr, std::numeric_limits<UINT>::max()), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, std::numeric_limits<UINT>::max()), nullptr);
}

TEST(BstrHolder, CopiesAreIndependentAndMovesTransfer) {
    Bstr a(u"hello");
    Bstr b = a;
    ASSERT_NE(a.get(), b.get());
    EXPECT_EQ(b.view(), u"hello");
    Bstr c = std::move(a);
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(c.view(), u"hello");
    Bstr d;
    EXPECT_TRUE(d.empty());
    BSTR* out = &d;
    *out = SysAllocString(calyra::AsOle(u"out"));
    EXPECT_EQ(d.view(), u"out");
}
